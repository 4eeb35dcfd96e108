#!/usr/bin/env bash
# Builds the Debian package from a built tree (default: build), checks it
# with desktop-file-validate and lintian, installs it on this machine, tries
# the installed programs, and removes it again.
#
# Needs root (or sudo) for apt-get, and the packages of package-setup.sh.
# Lintian errors fail the run; its warnings are printed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb="$build/tessera_${version}_$(dpkg --print-architecture).deb"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== Building $(basename "$deb")"
rm -f "$deb"
(cd "$build" && cpack -G DEB >"$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
test -f "$deb"
dpkg-deb --field "$deb"

echo "== Desktop entries"
dpkg-deb -x "$deb" "$work/root"
desktop-file-validate "$work"/root/usr/share/applications/*.desktop
ls "$work"/root/usr/share/applications/

echo "== lintian"
lintian --fail-on error --display-info "$deb"

echo "== Installing"
(cd "$build" && $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -qq "./$(basename "$deb")") \
  >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; exit 1; }
dpkg-query -W tessera

echo "== The installed programs"
mkdir "$work/try"
(
  cd "$work/try"
  test "$(command -v tessera-convert)" = /usr/bin/tessera-convert
  command -v Tessera tessview >/dev/null
  test "$(tessera-convert --version)" = "tessera-convert $version"
  tessera-convert --version
  test "$(Tessera --version)" = "Tessera $version"
  # The bundled sample, converted from another folder: the same bytes as the
  # build tree's program gives.
  tessera-convert -o snake.bmp1 /usr/share/tessera/samples/demo_snake_600x450.png
  "$build/cli/tessera-convert" -q -o built.bmp1 /usr/share/tessera/samples/demo_snake_600x450.png
  cmp snake.bmp1 built.bmp1
  tessview --png snake.png snake.bmp1
  "$build/viewer/tessview" --png built.png built.bmp1
  cmp snake.png built.png
  file snake.png
  man -w tessera-convert
  man -w Tessera
  man -w tessview
  # The triggers of shared-mime-info, desktop-file-utils and the icon theme
  # have taken the new files in.
  test -f /usr/share/mime/application/x-tessera-bmp1.xml
  test -f /usr/share/mime/application/x-tessera-bmp4.xml
  grep -q 'application/x-tessera-bmp1=tessview.desktop' /usr/share/applications/mimeinfo.cache
)

echo "== Removing"
dpkg-query -L tessera >"$work/files"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 purge -y -qq tessera >"$work/apt.log" 2>&1 \
  || { cat "$work/apt.log"; exit 1; }
status=$(dpkg-query -W -f='${db:Status-Status}' tessera 2>/dev/null || true)
if [ -n "$status" ] && [ "$status" != not-installed ]; then
  echo "tessera is still there after the purge: $status" >&2
  exit 1
fi
left=0
while read -r f; do
  if [ -f "$f" ] || [ -L "$f" ]; then echo "left behind: $f" >&2; left=1; fi
done <"$work/files"
test ! -e /usr/share/mime/application/x-tessera-bmp1.xml || { echo "left behind: the file type" >&2; left=1; }
test ! -d /usr/share/tessera || { echo "left behind: /usr/share/tessera" >&2; left=1; }
test "$left" = 0
echo "== The package installs, works and removes cleanly"
