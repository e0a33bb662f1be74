#!/usr/bin/env bash
# Starts the real melvaro under Xvfb with the accessibility bus, the virtual recorder
# holding a blank CD-R, and lets atspi_start_screen.py find and press the start screen's
# buttons. Usage: atspi_test.sh BIN_DIR. Exit 77 (skipped) when the tools are missing.
set -euo pipefail
bin=$1
here=$(cd "$(dirname "$0")" && pwd)
for tool in xvfb-run dbus-run-session /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || { echo "missing $tool"; exit 77; }
done
/usr/bin/python3 -c "import pyatspi" 2>/dev/null || { echo "missing python3-pyatspi"; exit 77; }

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export MELVARO_HOME=$home
export MELVARO_VREC=$home/vrec
"$bin/melvaro-vrec" load --drive 0 --medium cd-r >/dev/null

cat >"$home/session.sh" <<SESSION
set -u
/usr/libexec/at-spi-bus-launcher --launch-immediately &
launcher=\$!
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_ACCESSIBILITY=1 "$bin/melvaro" >"$home/melvaro.log" 2>&1 &
melvaro=\$!
/usr/bin/python3 "$here/atspi_start_screen.py" \$melvaro
result=\$?
# The Close button ends the program; wait for it, and end it only if the check failed.
if [ \$result -eq 0 ]; then
  for _ in \$(seq 1 600); do kill -0 \$melvaro 2>/dev/null || break; sleep 0.1; done
  if kill -0 \$melvaro 2>/dev/null; then echo "melvaro did not end after Close"; result=1; fi
fi
kill \$melvaro 2>/dev/null
wait \$melvaro 2>/dev/null
kill \$launcher 2>/dev/null
wait \$launcher 2>/dev/null
[ \$result -eq 0 ] || cat "$home/melvaro.log"
exit \$result
SESSION
xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- bash "$home/session.sh"
