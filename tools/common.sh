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
