#!/usr/bin/env bash
# Images built by melvaro-cli from a fixture tree are read by xorriso, isoinfo, bsdtar,
# 7z and iso-info: each lists the tree without error and extracts every file's bytes as
# they are in the sources (Joliet names through the Joliet-aware readers).
# Usage: image_readers.sh BIN_DIR
set -euo pipefail
bin=$1
work=$(mktemp -d /tmp/melvaro-readers-XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The fixture: nested folders, a hidden file, empty files, blanks, lower case, accents
# and CJK, a 109-character name, more folders than one path-table block holds, and file
# sizes around the copy chunk.
src=$work/src/Fixture
mkdir -p "$src/deep/a/b/c/d/e/f" "$src/Lower case folder" "$src/Ünïcödé 漢字" "$src/many"
echo "leaf" > "$src/deep/a/b/c/d/e/f/leaf.txt"
echo "readme" > "$src/readme"
echo "hidden" > "$src/.hidden-file"
: > "$src/empty.dat"
echo "spaces" > "$src/Lower case folder/name with blanks.txt"
echo "accents" > "$src/Ünïcödé 漢字/café 日本語.txt"
long=$(printf 'L%.0s' $(seq 1 105)).txt  # 109 characters
echo "long" > "$src/$long"
for i in $(seq -w 1 300); do mkdir "$src/many/folder$i"; done
echo "in a folder" > "$src/many/folder150/file.txt"
head -c 1048576 /dev/urandom > "$src/big.bin"
head -c 131072 /dev/urandom > "$src/chunk.bin"
head -c 131073 /dev/urandom > "$src/chunk-plus-one.bin"
head -c 1 /dev/urandom > "$src/one.bin"

# What the Joliet readers show: the 109-character name cut in its stem to the 103
# characters a Joliet name holds, keeping its extension.
expected=$work/expected
cp -r "$work/src" "$expected"
mv "$expected/Fixture/$long" "$expected/Fixture/${long:0:99}.txt"

check_image() {
  local image=$1 name=$2
  echo "== $name"
  # xorriso: the tree, then every file's bytes.
  xorriso -abort_on FAILURE -indev "$image" -find / >"$work/xorriso.txt" 2>&1 ||
    fail "$name: xorriso cannot list the image"
  # A boot image that no directory entry names is "hidden" to libisofs, which then
  # warns that modifying the image could harm it; reading is not affected.
  ! grep -E "FAILURE|SORRY|WARNING" "$work/xorriso.txt" | grep -vq "Found hidden El-Torito image" ||
    { cat "$work/xorriso.txt"; fail "$name: xorriso complains"; }
  grep -q "/Fixture/many/folder300" "$work/xorriso.txt" || fail "$name: xorriso misses folders"
  rm -rf "$work/out"
  xorriso -abort_on FAILURE -indev "$image" -osirrox on -extract / "$work/out" >/dev/null 2>&1 ||
    fail "$name: xorriso cannot extract"
  chmod -R u+w "$work/out"
  diff -r "$expected" "$work/out" || fail "$name: xorriso extracts other contents"

  # isoinfo: descriptors, both trees, a file through Joliet.
  isoinfo -d -i "$image" >"$work/isoinfo-d.txt"
  grep -q "^Volume id: FIXTURE DISC" "$work/isoinfo-d.txt" || fail "$name: isoinfo volume id"
  grep -q "Joliet with UCS level 1 found" "$work/isoinfo-d.txt" || fail "$name: no Joliet"
  isoinfo -l -i "$image" >"$work/isoinfo-l.txt" 2>&1 || fail "$name: isoinfo -l"
  [ "$(grep -c '^Directory listing of /FIXTURE/MANY/.' "$work/isoinfo-l.txt")" = 300 ] ||
    fail "$name: isoinfo -l misses folders"
  isoinfo -J -l -i "$image" >"$work/isoinfo-j.txt" 2>&1 || fail "$name: isoinfo -J -l"
  grep -q "name with blanks.txt;1" "$work/isoinfo-j.txt" || fail "$name: isoinfo -J names"
  isoinfo -J -i "$image" -x "/Fixture/deep/a/b/c/d/e/f/leaf.txt;1" | cmp - "$src/deep/a/b/c/d/e/f/leaf.txt" ||
    fail "$name: isoinfo extracts leaf.txt wrongly"
  isoinfo -J -i "$image" -x "/Fixture/chunk-plus-one.bin;1" | cmp - "$src/chunk-plus-one.bin" ||
    fail "$name: isoinfo extracts chunk-plus-one.bin wrongly"

  # bsdtar.
  rm -rf "$work/out" && mkdir "$work/out"
  bsdtar -x -f "$image" -C "$work/out" 2>"$work/bsdtar.txt" || { cat "$work/bsdtar.txt"; fail "$name: bsdtar"; }
  chmod -R u+w "$work/out"
  diff -r "$expected" "$work/out" || fail "$name: bsdtar extracts other contents"

  # 7z.
  rm -rf "$work/out"
  7z x -y -o"$work/out" "$image" >"$work/7z.txt" 2>&1 || { cat "$work/7z.txt"; fail "$name: 7z"; }
  grep -q "Everything is Ok" "$work/7z.txt" || fail "$name: 7z reports errors"
  # 7z also extracts a boot image, as [BOOT]/.
  diff -r -x '\[BOOT\]' "$expected" "$work/out" || fail "$name: 7z extracts other contents"

  # iso-info (libcdio).
  iso-info -f -i "$image" >"$work/iso-info.txt" 2>&1 || fail "$name: iso-info"
  grep -q "/Fixture/Ünïcödé 漢字/café 日本語.txt" "$work/iso-info.txt" || fail "$name: iso-info names"
  grep -q "/Fixture/deep/a/b/c/d/e/f/leaf.txt" "$work/iso-info.txt" || fail "$name: iso-info depth"
}

"$bin/melvaro-cli" build-iso -o "$work/plain.iso" --label "Fixture Disc" "$work/src/Fixture" >/dev/null
check_image "$work/plain.iso" "no boot image"

head -c 1474560 /dev/urandom > "$work/floppy.img"
"$bin/melvaro-cli" build-iso -o "$work/floppy.iso" --label "Fixture Disc" --boot "$work/floppy.img" \
  "$work/src/Fixture" >/dev/null
check_image "$work/floppy.iso" "1.44 MB boot image"
xorriso -indev "$work/floppy.iso" -report_el_torito plain 2>/dev/null | grep -Eq "BIOS +y +fd1\.4" ||
  fail "1.44 MB boot image: not reported as a bootable 1.44 MB diskette"
catalog=$(xorriso -indev "$work/floppy.iso" -report_el_torito plain 2>/dev/null |
  sed -n 's/^El Torito boot img :.* \([0-9]*\)$/\1/p')
dd if="$work/floppy.iso" bs=2048 skip="$catalog" count=720 status=none | cmp - "$work/floppy.img" ||
  fail "1.44 MB boot image: the image's bytes differ"

head -c 2048 /dev/urandom > "$work/small.img"
"$bin/melvaro-cli" build-iso -o "$work/small.iso" --label "Fixture Disc" --boot "$work/small.img" \
  "$work/src/Fixture" >/dev/null
check_image "$work/small.iso" "2048-byte boot image"
xorriso -indev "$work/small.iso" -report_el_torito plain 2>/dev/null | grep -Eq "BIOS +y +hd" ||
  fail "2048-byte boot image: not reported as hard-disk emulation"
echo "every reader reads every image"
