#!/usr/bin/env bash
# Names that readers used to show wrongly, in an image built by melvaro-cli and on a
# virtual CD-R it burnt: a name without extension, names of 104 and 150 characters,
# two long names that differ only past the Joliet limit, names differing only in case,
# and characters Joliet forbids. xorriso, isoinfo -J, bsdtar and 7z show every file
# with its bytes under the expected Joliet name (no trailing dot, extension kept,
# all distinct); isoinfo without -J shows valid 8.3 identifiers, sorted.
# Usage: names_readers.sh BIN_DIR
set -euo pipefail
bin=$1
work=$(mktemp -d /tmp/melvaro-names-XXXXXX)
trap 'rm -rf "$work"' EXIT
export MELVARO_VREC=$work/vrec
fail() { echo "FAIL: $*" >&2; exit 1; }
repeat() { printf "%${2}s" "" | tr ' ' "$1"; }

src=$work/src/Names
expected=$work/expected/Names
mkdir -p "$src/Sub Folder" "$src/alpha" "$expected/Sub Folder" "$expected/alpha"
# put SOURCE-NAME JOLIET-NAME: a file in the source tree and where the readers show it.
put() {
  printf '%s\n' "$1" > "$src/$1"
  printf '%s\n' "$1" > "$expected/$2"
}
put run run
put Makefile Makefile
put README README
put readme readme
put "$(repeat a 100).mp3" "$(repeat a 99).mp3"
put "$(repeat b 145).flac" "$(repeat b 98).flac"
put "$(repeat c 110)1.ogg" "$(repeat c 99).ogg"
put "$(repeat c 110)2.ogg" "$(repeat c 97)~1.ogg"
put 'semi;colon*?.txt' 'semi_colon__.txt'
put 'back\slash.txt' 'back_slash.txt'
put 'colon:name.txt' 'colon_name.txt'
put $'tab\there.txt' 'tab_here.txt'
put "Sub Folder/inner.txt" "Sub Folder/inner.txt"

# Every file under $1, one path a line, sorted.
listing() { (cd "$1" && find . -type f | LC_ALL=C sort); }

check() {
  local image=$1 name=$2
  echo "== $name"
  rm -rf "$work/out"
  xorriso -abort_on FAILURE -indev "$image" -osirrox on -extract / "$work/out" >"$work/xorriso.txt" 2>&1 ||
    { cat "$work/xorriso.txt"; fail "$name: xorriso cannot extract"; }
  chmod -R u+w "$work/out"
  diff -r "$work/expected" "$work/out" || fail "$name: xorriso shows other names or bytes"

  rm -rf "$work/out" && mkdir "$work/out"
  bsdtar -x -f "$image" -C "$work/out" || fail "$name: bsdtar"
  chmod -R u+w "$work/out"
  diff -r "$work/expected" "$work/out" || fail "$name: bsdtar shows other names or bytes"

  rm -rf "$work/out"
  7z x -y -o"$work/out" "$image" >"$work/7z.txt" 2>&1 || { cat "$work/7z.txt"; fail "$name: 7z"; }
  grep -q "Everything is Ok" "$work/7z.txt" || fail "$name: 7z reports errors"
  diff -r "$work/expected" "$work/out" || fail "$name: 7z shows other names or bytes"

  # isoinfo -J: every name as a path without ";1", and every file's bytes.
  isoinfo -J -f -i "$image" | sed 's/;1$//' | LC_ALL=C sort >"$work/isoinfo-j.txt"
  (cd "$work/expected" && find . -mindepth 1 | sed 's/^\.//' | LC_ALL=C sort) >"$work/want.txt"
  diff "$work/want.txt" "$work/isoinfo-j.txt" || fail "$name: isoinfo -J shows other names"
  while IFS= read -r path; do
    isoinfo -J -i "$image" -x "${path#.};1" | cmp -s - "$work/expected/$path" ||
      fail "$name: isoinfo -J reads $path wrongly"
  done < <(listing "$work/expected")

  # isoinfo without -J: the primary tree's identifiers, directory by directory.
  isoinfo -l -i "$image" >"$work/isoinfo-l.txt"
  awk '
    /^Directory listing of / { dir = $0; next }
    /\] +/ {
      sub(/^.*\] +/, ""); sub(/ +$/, "")
      if ($0 == "." || $0 == "..") next
      print dir "\t" $0
    }' "$work/isoinfo-l.txt" >"$work/iso-ids.txt"
  [ "$(grep -c "" "$work/iso-ids.txt")" = 16 ] || { cat "$work/isoinfo-l.txt"; fail "$name: isoinfo -l lists other entries"; }
  while IFS=$'\t' read -r dir id; do
    [[ "$id" =~ ^[A-Z0-9_~]{1,8}(\.[A-Z0-9_~]{0,3};1)?$ ]] || fail "$name: '$id' in $dir is no 8.3 identifier"
  done <"$work/iso-ids.txt"
  for dir in "/" "/NAMES/" "/NAMES/SUBFOL~1/"; do
    grep -F "Directory listing of $dir"$'\t' "$work/iso-ids.txt" | cut -f2 >"$work/ids.txt"
    LC_ALL=C sort -c "$work/ids.txt" || fail "$name: the identifiers of $dir are not sorted"
    [ -z "$(sort "$work/ids.txt" | uniq -d)" ] || fail "$name: identifiers repeat in $dir"
  done
  grep -qx $'Directory listing of /NAMES/\tRUN.;1' "$work/iso-ids.txt" || fail "$name: no RUN.;1"
}

"$bin/melvaro-cli" build-iso -o "$work/names.iso" --label Names "$src" >/dev/null 2>"$work/cli.txt" ||
  { cat "$work/cli.txt"; fail "build-iso failed"; }
grep -q "JOLIET NAME SHORTENED: .*$(repeat b 145).flac" "$work/cli.txt" ||
  fail "build-iso did not tell the shortened names"
check "$work/names.iso" "image"

"$bin/melvaro-vrec" load --drive 0 --medium cd-r >/dev/null
"$bin/melvaro-cli" burn --label Names "$src" >/dev/null 2>&1 || fail "burn failed"
"$bin/melvaro-vrec" dump --drive 0 -o "$work/disc.iso" >/dev/null
check "$work/disc.iso" "burnt CD-R"
# The engine's own reader shows the names as the other readers do.
"$bin/melvaro-cli" ls >"$work/ls.txt"
grep -q '\\Names\\run$' "$work/ls.txt" || { cat "$work/ls.txt"; fail "ls shows run otherwise"; }
! grep -q '\.$' "$work/ls.txt" || fail "ls shows a trailing dot"
echo "every reader shows every name"
