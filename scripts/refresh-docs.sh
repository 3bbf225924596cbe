#!/usr/bin/env bash
# Rewrites the numbers README.md and docs/ quote from runs and builds (each marked <!--=source-->,
# see tests/docs/DocNumbers.cpp) from what the current sources give. Run it after a change that
# moves traced addresses, PCD values, image sizes or sweep counts, and review the diff.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target boardsim doc-numbers >/dev/null
build/default/tests/docs/doc-numbers --write --boardsim build/default/Tools/boardsim/boardsim \
  --images build/default/images --root . README.md docs/*.md
