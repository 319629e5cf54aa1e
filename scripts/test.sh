#!/bin/sh
# Sets everything up, builds, and runs all tests.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake --preset default
cmake --build --preset default
ctest --preset default
