#!/usr/bin/env bash
# The operator's three commands, run for real.
#   release: two builds in two scratch folders give the same bytes; the second
#     is signed with a self-signed code-signing certificate, which verifies,
#     and removing the signature gives back the unsigned bytes.
#   servers BUILD: publish a sample folder onto the test server that CTest
#     started for BUILD, check-servers finds all good; then with faults planted
#     it names each of them and only them.
set -euo pipefail
tools=$(cd "$(dirname "$0")/../tools" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { [ ! -f "$tmp/check.log" ] || cat "$tmp/check.log"; echo "FAIL: $*" >&2; exit 1; }
quiet() { "$@" >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "$*"; }; }

release() {
  quiet "$tools/release" "$tmp/one"
  quiet openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velmora test publisher" \
    -addext extendedKeyUsage=codeSigning -keyout "$tmp/sign.key" -out "$tmp/sign.pem"
  quiet "$tools/release" "$tmp/two" --sign-cert "$tmp/sign.pem" --sign-key "$tmp/sign.key"
  cmp "$tmp/one/updater.exe" "$tmp/two/updater-unsigned.exe" || fail "two builds of one commit differ"
  (cd "$tmp/two" && quiet sha256sum -c SHA256SUMS)
  quiet osslsigncode verify -CAfile "$tmp/sign.pem" -in "$tmp/two/updater.exe"
  quiet osslsigncode remove-signature -in "$tmp/two/updater.exe" -out "$tmp/removed.exe"
  cmp "$tmp/removed.exe" "$tmp/one/updater.exe" || fail "the unsigned bytes do not come back"
  echo "release: reproduced, signed and unsigned again: $(cut -c1-64 "$tmp/one/SHA256SUMS")"
}

servers() {
  local site=$1/https-root n rc=0
  eval "$(sed 's/^/local /' "$1/test-server.txt")"
  for n in key other; do minisign -G -W -p "$tmp/$n.pub" -s "$tmp/$n" >/dev/null; done
  for n in $(sed -n 's/^\(system[0-9]*\)\\/\1\//p' "$tools/../src/launch/runtime_files.txt"); do
    mkdir -p "$tmp/in/${n%/*}" && echo "$n 1" >"$tmp/in/$n"
  done
  mv "$tmp/in/system32/Presence.dll" "$tmp/Presence.dll"
  ! "$tools/publish" "$tmp/in" "$tmp/out" --key "$tmp/key" 2>"$tmp/log" &&
    grep -q "system32/Presence.dll" "$tmp/log" || fail "publish took a folder short of a file"
  mv "$tmp/Presence.dll" "$tmp/in/system32/"
  quiet "$tools/publish" "$tmp/in" "$tmp/out" --key "$tmp/key"
  rm -rf "$site" && mkdir -p "$site"
  cp -r "$tmp/out/mirror" "$site/mirror" && cp -r "$tmp/out/server/download/client" "$site/server"
  check() {
    "$tools/check-servers" --key "$tmp/key.pub" --cacert "$pki_dir/ca.pem" \
      --mirror "https://localhost:$port$mirror_prefix" --server "https://localhost:$port$server_prefix"
  }
  quiet check
  # Each fault planted, and the line that must name it.
  local faults=(
    "rm $site/mirror/system64/Game.exe|mirror system64/Game.exe +missing"
    "rm $site/mirror/system32/Presence.dll.minisig|mirror system32/Presence.dll +unsigned"
    "minisign -S -s $tmp/other -m $site/mirror/system32/GfxUtil.dll|GfxUtil.dll +bad signature .another"
    "cp $tmp/in/system64/Game.exe $site/server/system32/EngineCore.dll|server system32/EngineCore.dll +bad signature$"
    "cp $site/server/system64/AudioMix.dll $site/server/system64/MediaLib.dll|MediaLib.dll +wrong name"
  )
  for n in "${faults[@]}"; do ${n%%|*} >/dev/null; done
  cp "$site/server/system64/AudioMix.dll.minisig" "$site/server/system64/MediaLib.dll.minisig"
  check >"$tmp/check.log" 2>&1 || rc=$?
  [ "$rc" = 1 ] || fail "check-servers exited $rc with faults"
  for n in "${faults[@]}"; do grep -Eq "${n#*|}" "$tmp/check.log" || fail "no line: ${n#*|}"; done
  [ "$(grep -Evc ' ok$' "$tmp/check.log")" = $((${#faults[@]} + 1)) ] || fail "other lines not ok"
  rm -rf "$site"
  echo "servers: all good, then exactly the ${#faults[@]} planted faults"
}

"$@"
