#!/bin/sh
# Builds the INI parser's fuzz target with clang, libFuzzer, ASan and UBSan in build-fuzz and
# runs it for a minute. Exits non-zero on any finding: a crash, a sanitizer report or a
# broken round-trip; the input that caused it is left in build-fuzz/ as crash-* or leak-*.
# tests/fuzz is configured as a project of its own, so the clang build needs no Qt.
set -e
cd "$(dirname "$0")/.."
sh scripts/setup.sh
(cd tests/fuzz && cmake --preset fuzz && cmake --build --preset fuzz)
mkdir -p build-fuzz/corpus
# Seeds: a file with comments, sections and an empty line; one with edits after it (NUL-separated
# section, name, value, name to delete).
printf "#top\r\na=1\r\n[Zeta]\r\nx=9\r\n\r\n[Alpha]\r\n'note\r\nk=v\r\n" > build-fuzz/corpus/seed.ini
printf "[S]\r\nk=v\r\n#c\0S\0[n\0v]x\0k" > build-fuzz/corpus/seed-edits
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec ./build-fuzz/fuzz_clsINIParse -max_total_time="${FUZZ_SECONDS:-60}" -artifact_prefix=build-fuzz/ build-fuzz/corpus
