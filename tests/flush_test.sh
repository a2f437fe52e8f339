#!/usr/bin/env bash
# A download's bytes reach the disk before the move that makes them the file:
# strace sees the program's fsync of system64\EngineCore.dll.part come before
# wineserver's rename of it (Wine renames in its server).
#   tests/flush_test.sh BUILD-DIR      (the test server running, a display set)
set -euo pipefail
build=$(realpath "$1")
. "$(dirname "$0")/../tools/common.sh"
dir=$(mktemp -d "$build/flush.XXXXXX")
tracer=
trap '[ -z "$tracer" ] || kill "$tracer" 2>/dev/null; rm -rf "$dir"' EXIT

mkdir -p "$dir/system64" "$build/https-root/mirror/system64"
while IFS= read -r entry; do
  name=${entry#system64\\}
  [ "$name" != "$entry" ] && [ "$name" != EngineCore.dll ] && echo runtime >"$dir/system64/$name"
done <"$build/runtime-files.txt"
cp "$build/helpers/fake_game.exe" "$dir/system64/Game.exe"
head -c 4194304 /dev/urandom >"$build/https-root/mirror/system64/EngineCore.dll"
rm -f "$build/https-root/mirror/system64/EngineCore.dll.serve"

# This prefix's server, by its working directory.
wineserver -p 2>/dev/null || true # running already, as a rule
served=server-$(stat -c '%D' "$WINEPREFIX")-$(printf %x "$(stat -c %i "$WINEPREFIX")")
server=
for pid in $(pgrep wineserver); do
  [[ $(readlink "/proc/$pid/cwd") == */"$served" ]] && server=$pid
done
[ -n "$server" ] || { echo "no wineserver for $WINEPREFIX"; exit 1; }
strace -y -tt -e trace=rename,renameat,renameat2 -p "$server" -o "$dir/server.trace" &
tracer=$!
sleep 1 # attached
(cd "$dir" && strace -f -y -tt -e trace=fsync,fdatasync -o "$dir/client.trace" "$WINE" \
  "$build/updater.exe")
kill "$tracer"
wait "$tracer" || true
tracer=

time_of() { grep -m1 "$1" "$2" | grep -oE '[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{6}' | head -n1; }
fsync=$(time_of 'sync(.*EngineCore\.dll\.part>' "$dir/client.trace")
rename=$(time_of 'rename.*EngineCore\.dll\.part' "$dir/server.trace")
cmp -s "$dir/system64/EngineCore.dll" "$build/https-root/mirror/system64/EngineCore.dll" ||
  { echo "EngineCore.dll was not fetched"; exit 1; }
echo "fsync of the part at ${fsync:-(none)}, its rename at ${rename:-(none)}"
[ -n "$fsync" ] && [ -n "$rename" ] && [[ $fsync < $rename ]]
