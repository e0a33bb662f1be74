#!/usr/bin/env bash
# melvaro-cli end to end on the virtual recorder: build, burn, burn-iso, a second
# session with --import last, ls, extract, erase, verify (also one that must fail), and
# the exit status and message of every kind of bad input.
# Usage: cli_test.sh BIN_DIR
set -uo pipefail
bin=$1
work=$(mktemp -d /tmp/melvaro-cli-XXXXXX)
trap 'rm -rf "$work"' EXIT
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

mkdir -p "$work/one/Photos/2026" "$work/two"
head -c 300000 /dev/urandom > "$work/one/Photos/2026/picture.jpg"
echo "first" > "$work/one/notes.txt"
echo "second" > "$work/two/more.txt"

"$vrec" load --drive 0 --medium cd-r >/dev/null
expect 0 "verify: OK" "$cli" burn --verify --label "Session One" "$work/one"
expect 0 "verify: OK" "$cli" burn --import last --verify "$work/two"
expect 0 "\\one\\Photos\\2026\\picture.jpg" "$cli" ls
expect 0 "\\more.txt" "$cli" ls --session last
out=$("$cli" ls --session 1)
[[ "$out" != *more.txt* ]] || fail "session 1 lists a file of session 2"
expect 0 "300000 bytes" "$cli" extract '\one\Photos\2026\picture.jpg' "$work/picture.jpg"
cmp "$work/picture.jpg" "$work/one/Photos/2026/picture.jpg" || fail "extracted bytes differ"
expect 0 "sessions: 2" "$cli" info

# A verify that must fail: the disc gives back a damaged block.
"$vrec" load --drive 0 --medium dvd+r >/dev/null
"$vrec" fault --drive 0 corrupt-read=200 >/dev/null
expect 1 "verify: block 200 differs" "$cli" burn --verify "$work/one"
"$vrec" fault --drive 0 clear >/dev/null

# Images: built, burnt, verified.
expect 0 "blocks" "$cli" build-iso -o "$work/image.iso" --label "An Image" "$work/one"
"$vrec" load --drive 0 --medium dvd+r >/dev/null
expect 0 "verify: OK" "$cli" burn-iso --verify "$work/image.iso"
"$vrec" dump --drive 0 -o "$work/dump.iso" >/dev/null
cmp -n "$(stat -c %s "$work/image.iso")" "$work/image.iso" "$work/dump.iso" ||
  fail "burn-iso: the disc differs from the image"

# Erasing a rewritable disc.
"$vrec" load --drive 0 --medium cd-rw >/dev/null
expect 0 "burnt" "$cli" burn "$work/two"
expect 0 "erased" "$cli" erase
expect 0 "disc: empty" "$cli" info
expect 2 "no medium" "$cli" --drive 1 erase

# Bad input: exit status 2, a clear message, nothing written.
"$vrec" load --drive 0 --medium cd-r >/dev/null
expect 2 "no such file or folder" "$cli" burn "$work/missing"
expect 2 "cannot be erased" "$cli" --drive 0 erase
truncate -s 4G "$work/huge.bin"
expect 2 "4 GiB or larger" "$cli" burn "$work/huge.bin"
truncate -s 800M "$work/big.bin"
expect 2 "not enough free space" "$cli" burn "$work/big.bin"
expect 2 "no drive 7" "$cli" --drive 7 burn "$work/two"
"$vrec" eject --drive 0 >/dev/null
expect 2 "no medium" "$cli" --drive 0 burn "$work/two"
"$vrec" load --drive 0 --medium "cd-rom:$work/image.iso" >/dev/null
expect 2 "cannot be written" "$cli" --drive 0 burn "$work/two"
"$vrec" load --drive 0 --medium cd-r >/dev/null
expect 2 "usage" "$cli" burn
# A file the disc cannot take as well is named, with its control characters shown,
# and nothing is written.
mkdir -p "$work/dup1" "$work/dup2"
echo one > "$work/dup1/"$'tab\tname.txt'
echo two > "$work/dup2/"$'tab\tname.txt'
expect 1 "not added to the disc: $work/dup2/tab\x09name.txt" "$cli" burn \
  "$work/dup1/"$'tab\tname.txt' "$work/dup2/"$'tab\tname.txt'
expect 2 "usage" "$cli" frobnicate
expect 2 "no command frobnicate" "$cli" frobnicate
# Every command has its own help; an error names the option or operand at fault, and
# options take their value as "--name VALUE" or "--name=VALUE".
for command in devices info build-iso burn burn-iso erase ls extract audio-info; do
  expect 0 "melvaro-cli $command" "$cli" "$command" --help
done
expect 0 "--close-disc" "$cli" burn --help
expect 0 "--full" "$cli" erase -h
expect 2 "--speed" "$cli" burn --speed fast "$work/two"
expect 2 "--frob" "$cli" burn --frob "$work/two"
expect 2 "--output is required" "$cli" build-iso "$work/two"
expect 2 "PATH is required" "$cli" build-iso -o "$work/none.iso"
expect 2 "--session" "$cli" ls --session 0
expect 2 "--import" "$cli" burn --import first "$work/two"
expect 2 "--transport" "$cli" --transport scsi devices
expect 2 "not expected: $work/x" "$cli" burn-iso "$work/image.iso" "$work/x"
expect 0 "blocks" "$cli" build-iso --output="$work/equals.iso" --label=Equals -- "$work/two"
isoinfo -d -i "$work/equals.iso" | grep -q "^Volume id: EQUALS" || fail "--label=VALUE not taken"
expect 1 "no file system" "$cli" extract '\nothing.txt' "$work/x"
"$vrec" status --drive 0 | grep -q "^disc: empty" || fail "a refused job wrote to the disc"
echo "every command behaves"
