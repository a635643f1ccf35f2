#!/usr/bin/env bash
# Builds everything with gcov counters (-O0, build-coverage/), runs the whole
# suite and prints the line and branch coverage of src/ and cli/. The gcovr
# settings are fixed here so that figures of two runs can be compared.
# Needs gcovr (Debian package gcovr).
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
build=build-coverage

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "$jobs"
# Counters of an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
# A failing test still leaves its counters; the figures are printed anyway.
ctest --preset coverage -j "$jobs" || echo "coverage: some tests failed" >&2

gcovr --root . --object-directory "$build" \
  --filter 'src/' --filter 'cli/' \
  --exclude-throw-branches --exclude-unreachable-branches \
  --gcov-ignore-parse-errors \
  -j "$jobs" --print-summary --output "$build/coverage.txt"
echo "coverage: per-file table in $build/coverage.txt"
