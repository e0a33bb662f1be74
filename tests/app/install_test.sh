#!/usr/bin/env bash
# Installs the build into a fresh prefix and checks that the installed programs, the
# plug-in, the desktop entry, the icon and the help pages are in place, and that an
# installed program finds the virtual recorder's plug-in beside it.
# Usage: install_test.sh BUILD_DIR [SANITIZER]
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail=0
for f in bin/melvaro bin/melvaro-cli bin/melvaro-vrec bin/libwnaspi32.so \
         share/applications/melvaro.desktop share/icons/hicolor/scalable/apps/melvaro.svg \
         share/melvaro/Melvaro.html; do
  [ -e "$prefix/$f" ] || { echo "missing $f"; fail=1; }
done
for x in melvaro melvaro-cli melvaro-vrec; do
  [ -x "$prefix/bin/$x" ] || { echo "$x is not executable"; fail=1; }
done
desktop=$prefix/share/applications/melvaro.desktop
for line in "Type=Application" "Name=Melvaro" "Exec=melvaro" "Icon=melvaro"; do
  grep -qx "$line" "$desktop" || { echo "the desktop entry lacks $line"; fail=1; }
done
grep -q "Categories=.*DiscBurning" "$desktop" || { echo "the desktop entry lacks its category"; fail=1; }
# ASan's runtime intercepts dlopen, so the loader searches from the runtime's folder
# instead of the program's and the plug-in beside it is not found; only a build without
# sanitizers is checked for that.
if [ -n "${2:-}" ]; then
  exit $fail
fi
# The installed programs keep their media in a program folder of their own.
export MELVARO_HOME=$prefix/home MELVARO_VREC=$prefix/home/vrec
mkdir -p "$MELVARO_HOME"
"$prefix/bin/melvaro-vrec" load --drive 0 --medium cd-r >/dev/null
devices=$(cd / && "$prefix/bin/melvaro-cli" devices 2>&1) || true
if ! grep -q "," <<<"$devices"; then
  echo "the installed melvaro-cli found no drive: $devices"
  fail=1
fi
exit $fail
