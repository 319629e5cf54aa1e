#!/bin/sh
# Installs the Debian packages that are missing: with "app", only those that build and run the
# program; without, also those that test, check and package it.
set -e
APP_PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libqt6svg6 libsqlite3-dev sqlite3 \
librsvg2-bin libxss-dev libwayland-dev wayland-protocols"
TEST_PACKAGES="xvfb xauth openbox trayer xdotool x11-utils imagemagick dbus xfce4-panel xfconf clang \
libclang-rt-14-dev fonts-liberation clang-format desktop-file-utils appstream dpkg-dev file lintian kwin-wayland socat"
PACKAGES="$APP_PACKAGES"
[ "${1:-}" = app ] || PACKAGES="$APP_PACKAGES $TEST_PACKAGES"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  # Through env: sudo would drop the variable, and apt would then ask any package's questions.
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get update
  $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi
