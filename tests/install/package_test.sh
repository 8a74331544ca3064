#!/bin/sh
# Makes the Debian package from the build tree and looks inside: its name, the
# library dependencies computed from the program, the files in their places,
# and what lintian says of it.
# With VELMORA_TEST_DPKG_INSTALL=1, as root (CI's disposable machines), it also
# installs the package, runs velmora from the PATH and removes it again.
# Usage: package_test.sh BUILD_DIR
set -eu
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || fail "cpack failed: $(cat "$out/cpack.log")"
set -- "$out"/*.deb
[ $# -eq 1 ] || fail "cpack made $# packages"
deb=$1
[ "$(basename "$deb")" = "velmora_$(dpkg-deb --field "$deb" Version)_$(dpkg-deb --field "$deb" Architecture).deb" ] ||
  fail "package named $(basename "$deb")"

depends=", $(dpkg-deb --field "$deb" Depends),"
for package in libc6 libsdl2-2.0-0 libsdl2-mixer-2.0-0 libepoxy0 libfreetype6 libfontconfig1 libsquish0 zlib1g libegl1; do
  case "$depends" in
    *", $package "* | *", $package,"*) ;;
    *) fail "Depends lacks $package:$depends" ;;
  esac
done

dpkg-deb --contents "$deb" | awk '{ print $6 }' >"$out/contents.txt"
for file in usr/bin/velmora usr/share/velmora/cam.dat usr/share/velmora/white.tga \
    usr/share/velmora/data/house/house_01/house_01.x \
    usr/share/applications/org.velmora.Velmora.desktop usr/share/metainfo/org.velmora.Velmora.metainfo.xml \
    usr/share/icons/hicolor/256x256/apps/velmora.png usr/share/man/man6/velmora.6.gz \
    usr/share/doc/velmora/copyright usr/share/doc/velmora/changelog.gz; do
  grep -qx "./$file" "$out/contents.txt" || fail "$file is not in the package"
done
[ "$(grep -c '^\./usr/bin/.' "$out/contents.txt")" -eq 1 ] || fail "usr/bin holds more than velmora"

# Debian's own checks: no error and no warning.
lintian --fail-on error,warning "$deb" >"$out/lintian.txt" 2>&1 || fail "lintian: $(cat "$out/lintian.txt")"

if [ "${VELMORA_TEST_DPKG_INSTALL:-0}" = 1 ] && [ "$(id -u)" -eq 0 ]; then
  dpkg -i "$deb" >"$out/dpkg.log" 2>&1 || fail "dpkg -i failed: $(cat "$out/dpkg.log")"
  trap 'dpkg -r velmora >/dev/null 2>&1; rm -rf "$out"' EXIT
  cd "$out"
  PATH=/usr/bin:/bin velmora --capture "$out/v/" --seconds 2 2>"$out/stderr.txt" || fail "$(cat "$out/stderr.txt")"
  [ -s "$out/v/frame_000119.png" ] || fail "the installed program wrote $(ls "$out/v" | wc -l) frames, not 120"
fi
