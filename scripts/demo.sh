#!/usr/bin/env bash
# The main job on a generated sample, with output a person can check.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/build.sh >/dev/null
orvkt=build/orvkt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A DSS header block as a recorder writes it: one header block, self-id "dss",
# licensee 3, recording length "000000".
python3 - "$work/sample.dss" <<'PY'
import sys
h = bytearray(b"\xff" * 512)
h[0] = 1
h[1:4] = b"dss"
h[4:8] = b"\x01\x00\x01\x00"
h[8:12] = (3).to_bytes(4, "little")
h[12:32] = bytes(20)
h[32:34] = (0xFFFD).to_bytes(2, "little")
h[38:50] = b"000000000000"
h[62:68] = b"000000"
open(sys.argv[1], "wb").write(h)
PY

echo "== orvkt header-block sample.dss"
"$orvkt" header-block "$work/sample.dss" | head -6
