#!/usr/bin/env bash
# Two runs of each example board give the same trace, report and --json output, byte for byte.
set -euo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for board in "$BOARDS"/*.toml; do
  for run in 1 2; do
    "$BOARDSIM" run "$board" --trace "$out/trace$run" >"$out/report$run" || true
    "$BOARDSIM" run "$board" --json >"$out/json$run" || true
  done
  for kind in trace report json; do
    cmp "$out/${kind}1" "$out/${kind}2" || { echo "FAIL: $board: $kind differs"; exit 1; }
  done
  cat "$out/trace1" >>"$out/all"
done
# Pool addresses and the debug agent's hand-over addresses are part of what was compared.
grep -q '"ev":"alloc"' "$out/all"
grep -q '"port":39372,"width":32,"value":[1-9]' "$out/all"
