#!/usr/bin/env bash
# Every configure preset of CMakePresets.json (the docs name them all) configures from this source
# tree, each into a fresh folder, so that a preset's configure failure shows in the suite.
set -uo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$SOURCE_DIR" || exit 1

presets=$(cmake --list-presets | sed -n 's/^  "\([^"]*\)".*/\1/p')
[ -n "$presets" ] || { echo "FAIL: cmake --list-presets named no preset"; exit 1; }
failed=0
for preset in $presets; do
  if cmake --preset "$preset" -B "$out/$preset" >"$out/$preset.log" 2>&1; then
    echo "ok    $preset"
  else
    echo "FAIL  $preset: 'cmake --preset $preset' does not configure:"
    cat "$out/$preset.log"
    failed=1
  fi
done
exit $failed
