#!/bin/sh
# Formats the C++ sources with clang-format (.clang-format); with --check, changes nothing and
# fails when a file is not formatted.
set -e
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--check" ]; then
    clang-format --dry-run --Werror $files
    echo "format: all $(echo "$files" | wc -l) C++ files formatted"
else
    clang-format -i $files
fi
