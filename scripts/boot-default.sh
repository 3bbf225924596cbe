#!/usr/bin/env bash
# Installs what is missing, builds the simulator, the modules with the files docs/integration.md
# promises next to each image (.efi, .ffs, .depex, .inf, .pdb) and the ffstool and imagecheck tools,
# and boots the default board.
# Extra arguments go to `boardsim run` (e.g. --trace trace.jsonl, --quiet, --json).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build
cmake --preset default >/dev/null
cmake --build --preset default --target boardsim BoardInfoPeiFfs BoardInfoDxeFfs S3SaveSmmFfs \
  ffstool imagecheck >/dev/null
exec build/default/Tools/boardsim/boardsim run "$@"
