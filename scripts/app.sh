#!/bin/sh
# Sets everything up, builds, installs the program to /usr/local and starts the installed one.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake --preset default
cmake --build --preset default
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO cmake --install build --prefix /usr/local
exec /usr/local/bin/tallyclock
