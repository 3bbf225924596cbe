#!/usr/bin/env bash
# What the command line does with wrong or unusual input: each case's message and exit status.
set -uo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
# expect STATUS PATTERN COMMAND...: the command exits with STATUS and prints PATTERN.
expect() {
  local status=$1 pattern=$2
  shift 2
  "$@" >"$out/output" 2>&1
  local got=$?
  [ "$got" = "$status" ] || { cat "$out/output"; fail "$* exited with $got, not $status"; }
  grep -q -- "$pattern" "$out/output" || { cat "$out/output"; fail "$*: no '$pattern'"; }
}

expect 0 '^boardsim [0-9]' "$BOARDSIM" --version
expect 4 'boardsim: The following argument was not expected: --bogus' "$BOARDSIM" run --bogus
expect 4 "run 'boardsim run --help' for the usage" "$BOARDSIM" run --bogus
expect 4 'A subcommand is required' "$BOARDSIM"
expect 4 'BOARD is required' "$BOARDSIM" check
expect 4 'PATH is required' "$BOARDSIM" test
expect 1 "$out: is a folder, not a board file" "$BOARDSIM" run "$out"
: >"$out/empty.toml"
expect 1 'empty.toml: the board file is empty' "$BOARDSIM" run "$out/empty.toml"
expect 1 'empty.toml: the board file is empty' "$BOARDSIM" check "$out/empty.toml"
expect 0 '^dxe-intel700: completed' "$BOARDSIM" run - --quiet <"$BOARDS/dxe-intel700.toml"
mkdir "$out/none"
expect 1 'no board files' "$BOARDSIM" test "$out/none"

# A log that cannot be written is an error, not a quiet success.
: >"$out/plain-file"
expect 1 'cannot write the HTML log to' "$BOARDSIM" run "$BOARDS/dxe-intel700.toml" --quiet \
  --html "$out/plain-file/page.html"
expect 1 'cannot make the HTML log folder' "$BOARDSIM" test "$BOARDS/dxe-intel700.toml" \
  --html "$out/plain-file/log"

# Text from the board file never reaches the terminal raw.
printf '"bad\\u001b[31mkey" = 1\n' >"$out/control.toml"
expect 1 'bad\\x1B\[31mkey: unknown key' "$BOARDSIM" check "$out/control.toml"
! grep -q $'\x1b' "$out/output" || fail "an escape character reached the output"

# Module copies live in a folder of their own that goes with the process.
mkdir "$out/tmp"
TMPDIR="$out/tmp" "$BOARDSIM" run "$BOARDS/default.toml" --quiet >/dev/null
[ -z "$(ls -A "$out/tmp")" ] || fail "the run left $(ls "$out/tmp") in TMPDIR"
exit 0
