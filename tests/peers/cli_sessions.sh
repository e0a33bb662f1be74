#!/usr/bin/env bash
# melvaro-cli on virtual DVD-R, DVD+R and CD-R discs: three burns with --import last,
# each session read back by xorriso with every earlier file; --close-disc leaves a
# complete disc that refuses a further burn.
# Usage: cli_sessions.sh BIN_DIR
set -uo pipefail
bin=$1
work=$(mktemp -d /tmp/melvaro-cli-sessions-XXXXXX)
trap 'rm -rf "$work"' EXIT
export MELVARO_VREC=$work/vrec
cli=$bin/melvaro-cli
vrec=$bin/melvaro-vrec
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work/a/docs" "$work/b" "$work/c"
echo alpha > "$work/a/a.txt"
head -c 300000 /dev/urandom > "$work/a/docs/a.bin"
head -c 70001 /dev/urandom > "$work/b/b.bin"
echo gamma > "$work/c/c.txt"

# xorriso extracts the session starting at $1 of the dumped disc into $2.
extract() {
  "$vrec" dump --drive 0 -o "$work/disc.iso" >/dev/null || fail "dump"
  rm -rf "$2"
  xorriso -abort_on FAILURE -indev "stdio:$work/disc.iso" -load sbsector "$1" -osirrox on \
    -extract / "$2" >/dev/null 2>&1 || fail "xorriso cannot read the session at $1"
  chmod -R u+w "$2"
}
starts() { "$vrec" status --drive 0 | sed -n 's/^session [0-9]*: start \([0-9]*\),.*closed$/\1/p'; }

for medium in dvd-r dvd+r cd-r; do
  echo "== $medium"
  "$vrec" load --drive 0 --medium "$medium" >/dev/null
  "$cli" burn "$work/a" >/dev/null 2>&1 || fail "$medium: burn 1"
  "$cli" burn --import last "$work/b" >"$work/log" 2>&1 || { grep -v progress "$work/log"; fail "$medium: burn 2"; }
  "$cli" burn --import last "$work/c" >/dev/null 2>&1 || fail "$medium: burn 3"
  mapfile -t s < <(starts)
  [ "${#s[@]}" = 3 ] || { "$vrec" status --drive 0; fail "$medium: not three closed sessions"; }
  expected=$work/expected
  rm -rf "$expected"
  mkdir -p "$expected"
  for i in 0 1 2; do
    name=$(echo a b c | cut -d' ' -f$((i + 1)))
    cp -r "$work/$name" "$expected/"
    extract "${s[$i]}" "$work/out"
    diff -r "$expected" "$work/out" || fail "$medium: session $((i + 1)) differs"
  done
done

for medium in dvd+r dvd-r; do
  echo "== $medium --close-disc"
  "$vrec" load --drive 0 --medium "$medium" >/dev/null
  "$cli" burn --close-disc "$work/a" >/dev/null 2>&1 || fail "$medium: burn --close-disc"
  "$vrec" status --drive 0 | grep -q "^disc: complete" ||
    { "$vrec" status --drive 0; fail "$medium: the disc is not complete"; }
  extract 0 "$work/out"
  diff -r "$work/a" "$work/out/a" || fail "$medium: the closed disc differs"
  out=$("$cli" --drive 0 burn "$work/b" 2>&1)
  status=$?
  [ "$status" = 2 ] || fail "$medium: a burn on the closed disc exited $status"
  [[ "$out" == *"the disc is closed: no further session can be added"* ]] ||
    fail "$medium: no clear message: $out"
done
echo "every session reads back"
