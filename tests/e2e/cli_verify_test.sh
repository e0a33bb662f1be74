#!/usr/bin/env bash
# melvaro-cli burn --verify when a source can no longer be read after it was burnt: the
# file is reported as not verified and the exit status is 1. The drive writes at
# 300 kB/s, so the burn is still running when the file is removed once writing has
# begun (every source has been read by then: the image is smaller than the cache).
# Usage: cli_verify_test.sh BIN_DIR
set -uo pipefail
bin=$1
work=$(mktemp -d /tmp/melvaro-cli-verify-XXXXXX)
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
pid=
export MELVARO_VREC=$work/vrec
cli=$bin/melvaro-cli
vrec=$bin/melvaro-vrec
fail() { echo "FAIL: $*" >&2; exit 1; }

"$vrec" init >/dev/null || fail "init"
sed -i '0,/^throughput=.*/s//throughput=300/' "$MELVARO_VREC/drives.ini"
"$vrec" load --drive 0 --medium dvd+r >/dev/null || fail "load"
mkdir -p "$work/src"
head -c 2000000 /dev/urandom > "$work/src/first.bin"
echo "read once" > "$work/src/gone.txt"
"$cli" --drive 0 --progress burn --verify "$work/src" >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 1 600); do
  grep -q "^progress:" "$work/err" && break
  sleep 0.1
done
grep -q "^progress:" "$work/err" || fail "the burn did not start: $(cat "$work/err")"
rm "$work/src/gone.txt"
wait "$pid"
status=$?
pid=
[ "$status" = 1 ] || { cat "$work/out" "$work/err"; fail "exited $status, expected 1"; }
grep -q "^burnt" "$work/out" || fail "the burn itself did not succeed"
grep -qF "verify: cannot read $work/src/gone.txt: not verified" "$work/err" ||
  { cat "$work/err"; fail "the unreadable source is not named"; }
! grep -q "verify: OK" "$work/out" || fail "verify reported OK"
echo "an unreadable source is not verified"
