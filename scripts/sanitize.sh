#!/bin/sh
# Builds and runs the tests with AddressSanitizer and UndefinedBehaviorSanitizer.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
