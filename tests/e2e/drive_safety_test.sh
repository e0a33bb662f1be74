#!/usr/bin/env bash
# melvaro-cli against hostile but ordinary use on the virtual recorder: two programs on
# one drive, burns killed mid-stream, images that must not be burnt, image destinations
# that must not be written, and discs that cannot be read whole.
# Usage: drive_safety_test.sh BIN_DIR
set -uo pipefail
bin=$1
work=$(mktemp -d /tmp/melvaro-safety-XXXXXX)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
export MELVARO_VREC=$work/vrec
cli=$bin/melvaro-cli
vrec=$bin/melvaro-vrec
fail() { echo "FAIL: $*" >&2; exit 1; }
# expect STATUS TEXT COMMAND...: the command exits with STATUS and prints TEXT.
expect() {
  local status=$1 text=$2
  shift 2
  local out
  out=$("$@" 2>&1)
  local got=$?
  [ "$got" = "$status" ] || { echo "$out"; fail "'$*' exited $got, expected $status"; }
  [[ "$out" == *"$text"* ]] || { echo "$out"; fail "'$*' did not say '$text'"; }
}
recorded() { "$vrec" status --drive 0 | sed -n 's/^capacity: .*recorded \([0-9]*\)$/\1/p'; }
blank() { "$vrec" status --drive 0 | grep -q "^disc: empty"; }
# Waits until the disc in drive 0 holds more than $1 recorded blocks (or $2 ends).
wait_recorded() {
  while kill -0 "$2" 2>/dev/null; do
    [ "$(recorded)" -gt "$1" ] 2>/dev/null && return 0
    sleep 0.05
  done
  fail "the burn ended before it had written $1 blocks"
}

"$vrec" init >/dev/null
# Writes paced at 4 MB/s, so that a burn lasts long enough to be interfered with.
sed -i 's/^throughput=.*/throughput=4000/' "$work/vrec/drives.ini"
mkdir -p "$work/src/docs" "$work/small"
head -c 12000000 /dev/urandom > "$work/src/big.bin"
echo "notes" > "$work/src/docs/notes.txt"
echo "small" > "$work/small/small.txt"

# One job per drive: a second program is refused before it sends anything, and the
# first one's disc reads back whole.
for second in "erase" "burn $work/small" "close-session"; do
  "$vrec" load --drive 0 --medium dvd+rw >/dev/null
  "$cli" --drive 0 burn --verify "$work/src" > "$work/first.log" 2>&1 &
  first=$!
  pids+=("$first")
  wait_recorded 100 "$first"
  # shellcheck disable=SC2086
  expect 1 "the drive is in use by another program" "$cli" --drive 0 $second
  expect 1 "the drive is in use by another program" "$cli" ls
  wait "$first" || { cat "$work/first.log"; fail "the first burn failed beside '$second'"; }
  grep -q "verify: OK" "$work/first.log" || fail "the first burn does not verify beside '$second'"
  expect 0 "\\src\\docs\\notes.txt" "$cli" ls
done
echo "one job per drive"

# Burns killed mid-stream: the unfinished session is named, never written over, and
# closed where the medium allows it.
for medium in cd-r dvd-r dvd+r; do
  "$vrec" load --drive 0 --medium "$medium" >/dev/null
  "$cli" --drive 0 burn "$work/src" >/dev/null 2>&1 &
  victim=$!
  pids+=("$victim")
  wait_recorded 1000 "$victim"
  kill -9 "$victim"
  wait "$victim" 2>/dev/null
  expect 0 "the disc holds an unfinished session from an interrupted burn" "$cli" info
  used=$("$cli" info | sed -n 's/^blocks: used \([0-9]*\), free \([0-9]*\), .*/\1 \2/p')
  total=$("$vrec" status --drive 0 | sed -n 's/^capacity: \([0-9]*\) blocks.*/\1/p')
  read -r u f <<< "$used"
  [ $((u + f)) -le "$total" ] || fail "$medium: used $u plus free $f exceed the capacity $total"
  "$cli" info | grep -q "size $total" && fail "$medium: the open session counts the whole disc"
  expect 1 "unfinished session" "$cli" ls
  before=$(recorded)
  expect 1 "unfinished session" "$cli" burn "$work/small"
  [ "$(recorded)" = "$before" ] || fail "$medium: a burn wrote onto the unfinished session"
  expect 0 "closed the unfinished session" "$cli" close-session
  "$cli" info | grep -q "unfinished" && fail "$medium: the session is still unfinished"
  expect 0 "\\src\\docs\\notes.txt" "$cli" ls
  expect 2 "no unfinished session" "$cli" close-session
done
echo "interrupted burns"

# Images that must not be burnt: refused before any write, the medium still blank.
"$cli" build-iso -o "$work/image.iso" "$work/small" >/dev/null || fail "build-iso"
: > "$work/empty.iso"
head -c $((40 * 2048)) "$work/image.iso" > "$work/cut.iso"
truncate -s 800M "$work/large.iso"
"$vrec" load --drive 0 --medium cd-r >/dev/null
expect 1 "IS NOT AN IMAGE FILE" "$cli" burn-iso "$work/src"
expect 1 "IS EMPTY" "$cli" burn-iso "$work/empty.iso"
if [ "$(stat -c %s "$work/image.iso")" -gt $((40 * 2048)) ]; then
  expect 1 "IS TRUNCATED" "$cli" burn-iso "$work/cut.iso"
fi
expect 1 "The space of the disc in not enough" "$cli" burn-iso "$work/large.iso"
blank || fail "a refused image wrote to the disc"
expect 0 "verify: OK" "$cli" burn-iso --verify "$work/image.iso"
expect 1 "NOT BLANK" "$cli" burn-iso "$work/image.iso"
echo "images checked"

# Image destinations: a device node and a directory refused, a link followed, a file
# of the temporary name left alone, a failed build leaving the old image.
expect 1 "not a regular file" "$cli" build-iso -o /dev/null "$work/small"
[ -c /dev/null ] || fail "/dev/null was replaced"
expect 1 "Is a directory" "$cli" build-iso -o "$work/src" "$work/small"
cp "$work/image.iso" "$work/old.iso"
ln -s old.iso "$work/link.iso"
expect 0 "blocks" "$cli" build-iso -o "$work/link.iso" "$work/src"
[ -L "$work/link.iso" ] || fail "the link was replaced by a file"
cmp -s "$work/old.iso" "$work/image.iso" && fail "the image was not written through the link"
echo "keep me" > "$work/new.iso.part"
expect 0 "blocks" "$cli" build-iso -o "$work/new.iso" "$work/small"
[ "$(cat "$work/new.iso.part")" = "keep me" ] || fail "an existing NAME.part was overwritten"
ls "$work"/new.iso.*.part 2>/dev/null && fail "a temporary file was left"
echo "destinations checked"

# Reading tells the truth: an unreadable directory, an unreadable file block, and a
# verify that names the block it cannot read, on standard error.
"$vrec" load --drive 0 --medium dvd+r >/dev/null
expect 0 "burnt" "$cli" burn "$work/src"
"$vrec" dump --drive 0 -o "$work/disc.iso" >/dev/null
# The first block of a directory or file as isoinfo (an independent reader) lists it.
extent() {
  isoinfo -i "$work/disc.iso" -J -l 2>/dev/null |
    sed -n "s/.*\[ *\([0-9]*\) [0-9]*\]  $1\(;1\)\? *\$/\1/p" | head -1
}
docs=$(extent docs)
file=$(extent big.bin)
[ -n "$docs" ] && [ -n "$file" ] || fail "isoinfo cannot find the test's directory and file"
"$vrec" fault --drive 0 "medium-error-at=$docs" >/dev/null
expect 1 "\\src\\docs (block $docs) cannot be read" "$cli" ls
expect 1 "cannot be read" "$cli" extract '\src\docs\notes.txt' "$work/notes.txt"
"$vrec" fault --drive 0 clear >/dev/null
"$vrec" fault --drive 0 "medium-error-at=$((file + 5))" >/dev/null
expect 1 "block $((file + 5)) cannot be read" "$cli" extract '\src\big.bin' "$work/big.bin"
[ -e "$work/big.bin" ] && fail "a file that could not be read was left"
"$vrec" fault --drive 0 clear >/dev/null
"$vrec" load --drive 0 --medium dvd+r >/dev/null
"$vrec" fault --drive 0 "medium-error-at=$((file + 7))" >/dev/null
out=$("$cli" burn --verify "$work/src" 2>/dev/null)
[ $? = 1 ] || fail "a verify that cannot read a block succeeded"
[[ "$out" != *verify:* ]] || fail "verify's error went to standard output"
"$vrec" load --drive 0 --medium dvd+r >/dev/null
"$vrec" fault --drive 0 "medium-error-at=$((file + 7))" >/dev/null
expect 1 "verify: block $((file + 7)) cannot be read" "$cli" burn --verify "$work/src"
"$vrec" fault --drive 0 clear >/dev/null
echo "reading checked"

# A unit attention after a disc change: the drive choice asks again.
"$vrec" load --drive 0 --medium cd-r >/dev/null
"$vrec" fault --drive 0 unit-attention=pending >/dev/null
expect 0 "medium: CD-R" "$cli" info
"$vrec" fault --drive 0 unit-attention=pending >/dev/null
expect 0 "burnt" "$cli" burn "$work/small"
expect 0 "\\small\\small.txt" "$cli" ls
echo "every safety check holds"
