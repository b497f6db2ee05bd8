#!/bin/sh
# Checks what a distribution would: the installed desktop entry and
# software-centre entry pass the desktop's own validators without a single
# warning, every icon has the size its folder promises, and the Debian
# package holds all of it and depends on the libraries the program links.
#   check-package.sh <build folder> <application id>
set -eu
build=$(cd "$1" && pwd)
id=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
root="$work/root/usr"
share="$root/share"

fail() {
  echo "check-package: $*" >&2
  exit 1
}

# desktop-file-validate prints hints and warnings but only fails on errors.
out=$(desktop-file-validate "$share/applications/$id.desktop" 2>&1) || fail "$out"
[ -z "$out" ] || fail "desktop-file-validate: $out"

# --pedantic makes it list every hint, so an empty list is a clean pass.
out=$(appstreamcli validate --no-net --pedantic "$share/metainfo/$id.metainfo.xml" 2>&1) ||
  fail "$out"
echo "$out" | grep -q '^[A-Z]: ' && fail "appstreamcli: $out"

expected="./usr/bin/zelto-todo
./usr/share/applications/$id.desktop
./usr/share/metainfo/$id.metainfo.xml
./usr/share/$id/installed"
for size in 16 22 24 32 48 64 128 256; do
  icon="$share/icons/hicolor/${size}x${size}/apps/$id.png"
  file "$icon" | grep -q "PNG image data, $size x $size," ||
    fail "not a ${size}px PNG: $(file "$icon")"
  expected="$expected
./usr/share/icons/hicolor/${size}x${size}/apps/$id.png"
done

# Everything installed, and nothing else, is in the package.
installed=$(cd "$work/root" && find . -type f | sort)
[ "$installed" = "$(echo "$expected" | sort)" ] || fail "installed files:
$installed"

cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null
deb=$(ls "$work"/package/*.deb)
packaged=$(dpkg-deb --contents "$deb" | awk '$1 ~ /^-/ { print $NF }' | sort)
[ "$packaged" = "$installed" ] || fail "package holds:
$packaged"

depends=$(dpkg-deb --field "$deb" Depends)
for library in libqt6widgets6 libqt6gui6 libqt6core6 libc6 qt6-qpa-plugins; do
  echo "$depends" | grep -q "\b$library\b" || fail "Depends lacks $library: $depends"
done
echo "check-package: $(basename "$deb") holds $(echo "$packaged" | wc -l) files; Depends: $depends"
