#!/bin/sh
# Installs the Debian packages that building, running and testing need, when missing.
set -e
PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev sqlite3 \
libxss-dev libwayland-dev wayland-protocols \
xvfb xauth openbox trayer xdotool x11-utils imagemagick dbus xfce4-panel xfconf clang libclang-rt-14-dev \
kwin-wayland \
fonts-liberation clang-format libqt6svg6 librsvg2-bin desktop-file-utils appstream dpkg-dev file lintian"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
