#!/usr/bin/env bash
# Two runs of the same board give the same trace, report and --json output, byte for byte.
set -euo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for board in "$BOARDS/default.toml" "$BOARDS/debug-breakpoint.toml" "$BOARDS/s3-handover.toml"; do
  for run in 1 2; do
    "$BOARDSIM" run "$board" --trace "$out/trace$run" >"$out/report$run" || true
    "$BOARDSIM" run "$board" --json >"$out/json$run" || true
  done
  grep -q '"ev":"alloc"' "$out/trace1" # pool addresses are part of what is compared
  for kind in trace report json; do
    cmp "$out/${kind}1" "$out/${kind}2" || { echo "FAIL: $board: $kind differs"; exit 1; }
  done
done
