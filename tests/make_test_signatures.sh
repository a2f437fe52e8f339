#!/bin/sh
# Signs the signature tests' runtime file with Debian's minisign, at test
# time: KEYDIR holds the test build's key pair (test.key, made when the build
# was configured); OUT receives the file and its signatures, good and bad.
set -eu
keys=$1 out=$2
rm -rf "$out"
mkdir -p "$out"
cd "$out"
head -c 300000 /dev/urandom >Game.exe
minisign -S -s "$keys/test.key" -m Game.exe -x prehashed.minisig >/dev/null
minisign -S -l -s "$keys/test.key" -m Game.exe -x legacy.minisig >/dev/null
minisign -G -W -f -p other.pub -s other.key >/dev/null
minisign -S -s other.key -m Game.exe -x other-key.minisig >/dev/null
# A good signature of the same bytes published under another runtime name.
cp Game.exe Presence.dll
minisign -S -s "$keys/test.key" -m Presence.dll -x other-name.minisig >/dev/null
# ... and the same with its trusted comment edited afterwards to name Game.exe.
sed 's/file:Presence\.dll/file:Game.exe/' other-name.minisig >edited-comment.minisig
rm -f other.key Presence.dll
