#!/bin/sh
# Installs the Debian packages the build and the tests need, and only those
# that are missing, so a second run costs nothing.
set -eu

PACKAGES="g++ cmake ninja-build qt6-base-dev libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth libx11-dev desktop-file-utils appstream dpkg-dev file libxtst-dev trayer dbus libical-dev pkg-config libfontconfig-dev"
if [ "${ZELTO_CI:-0}" = 1 ]; then
  PACKAGES="$PACKAGES clang-format"
fi
if [ "${ZELTO_FUZZ:-0}" = 1 ]; then
  PACKAGES="$PACKAGES clang libclang-rt-14-dev"
fi

missing=""
for pkg in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $pkg"
  fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -q
# shellcheck disable=SC2086
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends $missing
