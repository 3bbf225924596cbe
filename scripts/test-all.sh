#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan (the firmware images
# too), and runs every test: unit, scenario, image checks, the pinned fault sweep, fuzz smoke
# runs and the QEMU/OVMF check.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh test-build
# The programs only the tests run (QEMU, OVMF, the browser) install while the build runs: on a
# fresh machine that is most of the download. Their output is shown if they fail.
tools_log=$(mktemp)
scripts/setup.sh test-tools >"$tools_log" 2>&1 &
tools=$!
trap 'wait "$tools" 2>/dev/null || true; rm -f "$tools_log"' EXIT
cmake --preset test >/dev/null
cmake --build --preset test
status=0
wait "$tools" || status=$?
cat "$tools_log"
[ "$status" -eq 0 ] || { echo "test-all: installing the test tools failed (above)" >&2; exit 1; }
ctest --preset test
