#!/usr/bin/env bash
# A board broken on purpose (a wrong expected MAC) fails with the expected and actual values and
# status 3, alone and inside a suite, whose total and JUnit report count it.
set -uo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

mkdir "$out/suite"
cp "$BOARDS/dxe-intel700.toml" "$out/suite/good.toml"
sed 's/macs = \["3C:FD:FE:A1:B2:C3"\]/macs = ["3C:FD:FE:A1:B2:C4"]/' "$BOARDS/dxe-intel700.toml" \
  >"$out/suite/wrong-mac.toml"
cmp -s "$out/suite/good.toml" "$out/suite/wrong-mac.toml" && fail "the board was not broken"

"$BOARDSIM" run "$out/suite/wrong-mac.toml" --quiet >"$out/run.txt" 2>&1
status=$?
cat "$out/run.txt"
[ "$status" = 3 ] || fail "run exited with $status, not 3"
grep -q 'wrong-mac.toml:[0-9]*: expectation macs (call 1) failed' "$out/run.txt" || fail "no failure line"
grep -q 'expected: \["3C:FD:FE:A1:B2:C4"\]' "$out/run.txt" || fail "expected value not shown"
grep -q 'got: *\["3C:FD:FE:A1:B2:C3"\]' "$out/run.txt" || fail "actual value not shown"
grep -q '^1 of 2 expectations failed$' "$out/run.txt" || fail "no count"

"$BOARDSIM" test "$out/suite" --junit "$out/junit.xml" >"$out/test.txt" 2>&1
status=$?
cat "$out/test.txt"
[ "$status" = 3 ] || fail "test exited with $status, not 3"
grep -q "^pass  $out/suite/good.toml$" "$out/test.txt" || fail "no pass line for the good board"
grep -q "^FAIL  $out/suite/wrong-mac.toml: 1 of 2 expectations failed$" "$out/test.txt" ||
  fail "no FAIL line for the broken board"
[ "$(tail -n 1 "$out/test.txt")" = "1 passed, 1 failed" ] || fail "wrong total line"
grep -q '<testsuites tests="2" failures="1">' "$out/junit.xml" || fail "JUnit counts wrong"
grep -q '<failure message="1 of 2 expectations failed">' "$out/junit.xml" || fail "no JUnit failure"

# A board file that cannot be used writes no page of its own: the suite's log gives it one with
# the loader's message, and lists it first.
mkdir "$out/mixed"
cp "$BOARDS/dxe-intel700.toml" "$out/mixed/good.toml"
printf 'bogus_key = 1\n' >"$out/mixed/unusable.toml"
"$BOARDSIM" test "$out/mixed" --html "$out/log" --json "$out/log.json" >/dev/null 2>&1
[ $? = 3 ] || fail "the mixed suite did not fail"
grep -q 'bogus_key' "$out/log/boards/unusable.html" || fail "no loader message on the board's page"
[ "$(grep -c '<tr class="fail">' "$out/log/index.html")" = 1 ] || fail "not one failed line"
grep -A3 '<tr class="fail">' "$out/log/index.html" | grep -q 'unusable.toml' ||
  fail "the unusable board is not the failed line"
grep -q '"exit_status": 1' "$out/log.json" || fail "the summary lacks the unusable run's status"
exit 0
