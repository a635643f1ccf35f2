#!/usr/bin/env bash
# Builds the library, the CLI and the tests (release with debug info) into build/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc 2>/dev/null || echo 2)"
