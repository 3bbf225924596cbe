#!/usr/bin/env bash
# Installs what is missing, builds the simulator and the modules, and boots the default board.
# Extra arguments go to `boardsim run` (e.g. --trace trace.jsonl, --quiet, --json).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
cmake --preset default >/dev/null
cmake --build --preset default --target boardsim >/dev/null
exec build/default/Tools/boardsim/boardsim run "$@"
