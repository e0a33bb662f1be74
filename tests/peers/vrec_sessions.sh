#!/usr/bin/env bash
# Two sessions written through the drive plug-in on virtual CD-R, DVD+R and DVD-R discs,
# from images made by genisoimage; the dumped disc is read back by xorriso and isoinfo
# at each session's start block and must hold exactly the source files.
# Usage: vrec_sessions.sh BIN_DIR TESTBIN_DIR
set -euo pipefail
bin=$1
testbin=$2
work=$(mktemp -d /tmp/melvaro-peers-XXXXXX)
trap 'rm -rf "$work"' EXIT
export MELVARO_VREC=$work/vrec
vrec=$bin/melvaro-vrec
write() { "$testbin/vrec_write_image" --library "$bin/libwnaspi32.so" --drive 0 "$@"; }
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work/one/docs" "$work/two" "$work/both"
echo alpha > "$work/one/a.txt"
head -c 300000 /dev/urandom > "$work/one/docs/b.bin"
echo beta > "$work/two/c.txt"
head -c 70001 /dev/urandom > "$work/two/d.bin"
cp -r "$work/one/." "$work/two/." "$work/both/"

# xorriso extracts the tree of the session starting at $2 from disc image $1 into $3.
extract() {
  rm -rf "$3"
  xorriso -abort_on FAILURE -indev "stdio:$1" -load sbsector "$2" -osirrox on \
    -extract / "$3" >/dev/null 2>&1 || fail "xorriso cannot read the session at $2"
  chmod -R u+w "$3"
}

for medium in cd-r dvd+r dvd-r; do
  echo "== $medium"
  "$vrec" load --drive 0 --medium "$medium" >/dev/null
  genisoimage -quiet -J -R -V ONE -o "$work/one.iso" "$work/one"
  start1=$(write "$work/one.iso")
  [ "$start1" = 0 ] || fail "$medium: session 1 starts at $start1"
  "$vrec" dump --drive 0 -o "$work/disc.iso" >/dev/null

  next=$("$vrec" status --drive 0 | sed -n 's/^next track: start \([0-9]*\),.*/\1/p')
  [ -n "$next" ] || fail "$medium: no next track after session 1"
  genisoimage -quiet -J -R -V TWO -C "$start1,$next" -M "$work/disc.iso" -o "$work/two.iso" \
    "$work/two"
  start2=$(write "$work/two.iso")
  [ "$start2" = "$next" ] || fail "$medium: session 2 at $start2, expected $next"
  "$vrec" dump --drive 0 -o "$work/disc.iso" >/dev/null

  size2=$(( $(stat -c %s "$work/two.iso") / 2048 ))
  "$vrec" status --drive 0 | grep -qx "session 2: start $start2, size $size2, closed" ||
    fail "$medium: status does not show session 2"

  extract "$work/disc.iso" "$start1" "$work/out1"
  diff -r "$work/one" "$work/out1" || fail "$medium: session 1 differs from its sources"
  extract "$work/disc.iso" "$start2" "$work/out2"
  diff -r "$work/both" "$work/out2" || fail "$medium: session 2 does not show both sessions"

  # isoinfo, Joliet names, at the start of session 2.
  isoinfo -i "$work/disc.iso" -T "$start2" -J -x /docs/b.bin | cmp - "$work/one/docs/b.bin" ||
    fail "$medium: isoinfo reads b.bin wrongly"
  isoinfo -i "$work/disc.iso" -T "$start2" -J -x /c.txt | cmp - "$work/two/c.txt" ||
    fail "$medium: isoinfo reads c.txt wrongly"
done

# A pressed disc holds its image, byte for byte.
"$vrec" load --drive 1 --medium "cd-rom:$work/one.iso" >/dev/null
"$vrec" dump --drive 1 -o "$work/pressed.iso" >/dev/null
cmp "$work/one.iso" "$work/pressed.iso" || fail "the pressed disc differs from its image"
echo "all sessions read back"
