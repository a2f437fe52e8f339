# Sourced by the tools: where things are, and the Wine environment.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="$root/build/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installers popping up in a fresh prefix.
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ -x /usr/lib/wine/wine64 ]; then
  WINE=/usr/lib/wine/wine64
else
  WINE=wine
fi
export WINE
XVFB_ARGS=(-a -s "-screen 0 1280x1024x24 -nolisten tcp")

build_presets() {
  local preset
  for preset in "$@"; do
    cmake --preset "$preset" >"$root/build/configure-$preset.log" 2>&1 ||
      { cat "$root/build/configure-$preset.log"; return 1; }
    # The build's own status decides; the filter only hides progress lines.
    local status=0
    cmake --build --preset "$preset" >"$root/build/build-$preset.log" 2>&1 || status=$?
    grep -vE '^\[ *[0-9]+%\]' "$root/build/build-$preset.log" || true
    [ "$status" -eq 0 ] || return 1
  done
}

# Makes the Wine prefix once; later runs reuse it.
ensure_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix under build/wineprefix (once)..."
    xvfb-run "${XVFB_ARGS[@]}" bash -c 'wineboot -i >/dev/null 2>&1; wineserver -w'
  fi
}

# Builds Debian's source package $pkg (Debian's patches applied) for both
# MinGW targets, side by side: build_one TRIPLET configures, builds and
# installs $srcdir into $stage (working in $bdir, output to $log); the result
# goes to $(dep_dest TRIPLET), stamped with the Debian version and $config_id,
# so only a new version or configuration builds again. The version comes from
# the local apt lists: a second run needs no network. Sources go to
# $deps/src, logs to $deps/logs.
deps=${UPDATER_DEPS_DIR:-$root/build/deps}
logs=$deps/logs
dep_targets=(i686-w64-mingw32 x86_64-w64-mingw32)
say() { printf '%s: %s\n' "${0##*/}" "$*"; }
die() { say "error: $*" >&2; exit 1; }
run() { # LOG WHAT CMD...: on failure the log's tail, in one write
  local log=$1 what=$2; shift 2
  "$@" >>"$log" 2>&1 || die "$what failed; last lines of $log:
$(tail -n 30 "$log")"
}
dep_ok() { # TRIPLET: every file of dep_files and the stamp there
  local f
  for f in "${dep_files[@]}" .stamp; do [ -f "$(dep_dest "$1")/$f" ] || return 1; done
}

build_debian_source() {
  local v version="" t todo=() pids=() failed=0 parent
  mkdir -p "$deps" "$logs"
  exec 9>"$deps/.${0##*/}.lock"
  flock 9 # two runs at once (setup and CI, say) must not share a build folder
  while read -r v; do
    if [ -z "$version" ] || dpkg --compare-versions "$v" gt "$version"; then version=$v; fi
  done < <(apt-cache showsrc "$pkg" 2>/dev/null | sed -n 's/^Version: //p')
  if [ -z "$version" ]; then # no deb-src lists: a build of this configuration will do
    for t in "${dep_targets[@]}"; do
      dep_ok "$t" && grep -qx "config=$config_id" "$(dep_dest "$t")/.stamp" ||
        die "apt-cache showsrc $pkg finds nothing: a deb-src entry and 'apt-get update' are needed (tools/setup does both)"
    done
    say "up to date (apt knows no $pkg source to compare with) in $deps"
    return
  fi
  stamp=$(printf 'version=%s\nconfig=%s' "$version" "$config_id")
  for t in "${dep_targets[@]}"; do
    dep_ok "$t" && [ "$(cat "$(dep_dest "$t")/.stamp")" = "$stamp" ] || todo+=("$t")
  done
  [ ${#todo[@]} -gt 0 ] || { say "$pkg $version (${dep_targets[*]}) is up to date in $deps"; return; }
  for t in "${todo[@]}"; do
    for v in "${dep_tools[@]}" "$t-gcc-posix" "$t-ar" "$t-ranlib"; do
      command -v "$v" >/dev/null || die "$v is missing (run tools/setup)"
    done
  done
  parent=$deps/src/${pkg}_$version
  if [ ! -f "$parent/.unpacked" ]; then
    say "fetching Debian source $pkg $version"
    rm -rf "$parent" && mkdir -p "$parent" && : >"$logs/$pkg-source.log"
    (cd "$parent" && run "$logs/$pkg-source.log" "apt-get source $pkg=$version" \
      apt-get source -q "$pkg=$version")
    srcdir=$(find "$parent" -mindepth 1 -maxdepth 1 -type d -name "$pkg-*" | head -n1)
    [ -z "$srcdir" ] || ! declare -F prepare_source >/dev/null ||
      (cd "$srcdir" && prepare_source "$logs/$pkg-source.log")
    touch "$parent/.unpacked"
    find "$deps/src" -mindepth 1 -maxdepth 1 -name "${pkg}_*" ! -name "${pkg}_$version" -exec rm -rf {} +
  fi
  srcdir=$(find "$parent" -mindepth 1 -maxdepth 1 -type d -name "$pkg-*" | head -n1)
  [ -n "$srcdir" ] || die "no $pkg source tree in $parent"
  for t in "${todo[@]}"; do
    build_target "$t" &
    pids+=($!)
  done
  for v in "${pids[@]}"; do wait "$v" || failed=1; done
  [ "$failed" = 0 ] || die "$pkg build failed (logs in $logs)"
  say "$pkg $version ready in $deps"
}

build_target() { # TRIPLET, in a subshell of its own
  local t=$1 start=$SECONDS
  bdir=$deps/build/$pkg-$t stage=$deps/build/$pkg-$t-install log=$logs/$pkg-$t.log
  say "building $pkg $version for $t"
  rm -rf "$bdir" "$stage" && mkdir -p "$bdir" && : >"$log"
  build_one "$t"
  [ -f "$stage/${dep_files[0]}" ] || die "$t: no ${dep_files[0]} after install (see $log)"
  rm -rf "$(dep_dest "$t")" && mkdir -p "$(dirname "$(dep_dest "$t")")"
  mv "$stage" "$(dep_dest "$t")"
  printf '%s\n' "$stamp" >"$(dep_dest "$t")/.stamp"
  rm -rf "$bdir"
  say "$t done in $((SECONDS - start))s"
}
