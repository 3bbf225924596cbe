#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UBSan (the firmware images
# too), and runs every test: unit, scenario, image checks, the pinned fault sweep, fuzz smoke
# runs and the QEMU/OVMF check.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset test >/dev/null
cmake --build --preset test
ctest --preset test
