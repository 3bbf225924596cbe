#!/usr/bin/env bash
# doc-numbers fails on a quoted value the build does not give (inline and block, with file, line
# and the right value), on a mark that names nothing, and --write repairs the stale ones.
set -uo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir "$out/boards"
cp "$BOARDS/dxe-intel700.toml" "$out/boards/"
cat >"$out/page.md" <<'PAGE'
The DXE image has 1<!--=image BoardInfoDxe.efi size--> bytes.
Its walk starts at token 0x1<!--=boards/dxe-intel700.toml pcd_get@BoardInfoDxe#1.token hex-->.

<!--=boards/dxe-intel700.toml lines call@platform-->
```
{"ev":"call"}
```
PAGE
numbers() { "$DOC_NUMBERS" "$1" --boardsim "$BOARDSIM" --images "$IMAGES" --root "$out" page.md; }

numbers --check >"$out/check.txt"
status=$?
cat "$out/check.txt"
[ "$status" = 1 ] || fail "--check exited with $status on stale values, not 1"
grep -q '^page.md:1: quotes 1 where the build gives [0-9]* ' "$out/check.txt" || fail "no line for the size"
grep -q '^page.md:2: quotes 0x1 where the build gives 0x2 ' "$out/check.txt" || fail "no line for the token"
grep -q '^page.md:4: the block after' "$out/check.txt" || fail "no line for the block"
grep -q '^3 of 3 quoted values are stale' "$out/check.txt" || fail "no count"

numbers --write >/dev/null || fail "--write failed"
numbers --check || fail "--check still fails after --write"
grep -q '"ev":"call","target":"GetNicMacAddresses"' "$out/page.md" || fail "the block was not rewritten"

echo 'Gone: 0<!--=boards/dxe-intel700.toml nothing_here.value-->' >>"$out/page.md"
numbers --check >"$out/check.txt"
[ $? = 1 ] || fail "a mark that names nothing passed"
grep -q 'names nothing' "$out/check.txt" || fail "no message for a mark that names nothing"
echo "ok"
