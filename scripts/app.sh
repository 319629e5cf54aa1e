#!/bin/sh
# Sets everything up, builds, installs the program to /usr/local and starts the installed one.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO cmake --install build --prefix /usr/local
exec /usr/local/bin/tallyclock
