#!/bin/sh
# Sets up what building and running the program needs, builds the two programs without the
# tests, installs them to /usr/local and starts the installed one.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh app
cmake --preset app
cmake --build --preset app
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO cmake --install build --prefix /usr/local
# The list of installed files stays the user's: the tests install from this build too.
$SUDO chown "$(id -u):$(id -g)" build/install_manifest.txt
exec /usr/local/bin/tallyclock
