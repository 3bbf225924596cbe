#!/usr/bin/env bash
# Re-pins the default board's fault-sweep classification (tests/sweep/default.sweep.json), which
# the test suite compares every sweep with. Run it after a module change that is meant to change
# how call sites react to failures, and review the diff before committing it.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset test >/dev/null
cmake --build --preset test --target boardsim >/dev/null
build/test/Tools/boardsim/boardsim sweep boards/default.toml --quiet \
  --json tests/sweep/default.sweep.json
git --no-pager diff --stat -- tests/sweep/default.sweep.json
