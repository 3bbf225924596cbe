#!/usr/bin/env bash
# Measures the README's test command (scripts/test-all.sh) as a fresh machine runs it: a clean
# clone of COMMIT (default HEAD) with empty build folders and no compiler cache. Prints the time
# of each step the command takes, where the build's time went (compile and link per target) and
# the slowest tests, and the machine's load while it ran (other work on the machine slows it).
#
#   scripts/measure-test-command.sh [COMMIT] [--keep]
#
# --keep leaves the clone (and its build folder) in place and says where. Packages that
# scripts/setup.sh would install are taken as they are: on a machine that has them the setup step
# costs nothing, so measure it on a fresh one.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
commit=HEAD
keep=false
for arg in "$@"; do
  case $arg in
  --keep) keep=true ;;
  -*) echo "measure-test-command: unknown option $arg (only --keep)" >&2; exit 4 ;;
  *) commit=$arg ;;
  esac
done

work=$(mktemp -d /tmp/measure-test-command.XXXXXX)
$keep || trap 'rm -rf "$work"' EXIT
git clone -q --no-local "$repo" "$work/src"
git -C "$work/src" checkout -q "$(git -C "$repo" rev-parse "$commit")"
echo "measuring scripts/test-all.sh at $(git -C "$work/src" log --oneline -1)"

# The machine's load while the command runs, sampled every 5 s.
(while sleep 5; do cut -d' ' -f1 /proc/loadavg; done) >"$work/load" &
sampler=$!

# Each command of test-all.sh is traced with the time it starts; `times` after it gives the
# processor time of every process it started and waited for.
status=0
(
  cd "$work/src"
  unset CMAKE_C_COMPILER_LAUNCHER CMAKE_CXX_COMPILER_LAUNCHER
  export CCACHE_DISABLE=1
  run_status=0
  TRACE="$work/trace" bash -c 'exec 9>"$TRACE"; BASH_XTRACEFD=9; PS4="+ \$(date +%s.%N) "
                               set -x; . ./scripts/test-all.sh' scripts/test-all.sh ||
    run_status=$?
  times >"$work/cpu"
  exit "$run_status"
) >"$work/output" 2>&1 || status=$?
end=$(date +%s.%N)
kill "$sampler"

echo
echo "steps (wall-clock seconds):"
# The command's own lines are traced one level down ("++"); work it starts in the background
# shows in the step that waits for it.
grep -E '^\+\+ [0-9.]+ [^ ]' "$work/trace" | grep -vE "^\+\+ [0-9.]+ ((set|cd|dirname|trap|cat|'\[') |[a-z_]+=)" |
  awk -v end="$end" '{ t[++n] = $2; $1 = ""; $2 = ""; step[n] = substr($0, 3) }
    END { for (i = 1; i <= n; ++i) {
            d = (i < n ? t[i + 1] : end) - t[i]; total += d
            printf "  %7.1f  %s\n", d, step[i] }
          printf "  %7.1f  total, exit status '"$status"'\n", total }'
# `times`: the shell's own and its children's user and system time ("0m1.5s 0m0.2s").
[ -f "$work/cpu" ] && tail -1 "$work/cpu" | tr 'ms' '  ' |
  awk '{ printf "  %7.1f  processor time of all its processes (user and system)\n", $1 * 60 + $2 + $3 * 60 + $4 }'

build="$work/src/build/test"
if [ -f "$build/.ninja_log" ]; then
  echo
  echo "build steps by target (seconds of one core; the build runs two at a time):"
  # .ninja_log: start ms, end ms, mtime, output. Objects of a target live in
  # CMakeFiles/<target>.dir/ (firmware objects end in .obj); every other output is a link or a
  # generated file.
  awk -F'\t' 'NR > 1 {
      d = ($2 - $1) / 1000; out = $4
      if (match(out, /CMakeFiles\/[^\/]+\.dir\//)) {
        target = substr(out, RSTART + 11, RLENGTH - 16)
        kind = out ~ /\.(gch|pch)$/ ? "header" : "compile"
      } else { n = split(out, part, "/"); target = part[n]; kind = "link/other" }
      time[target] += d; steps[target] += 1; total[kind] += d; count[kind] += 1
      if (kind == "link/other" && out ~ /\.(so|a)$|\/[^.\/]+$/) links += d
    }
    END {
      for (t in time) printf "%9.1f %5d  %s\n", time[t], steps[t], t | "sort -rn | head -20"
      close("sort -rn | head -20")
      for (k in total) printf "  %s: %d steps, %.1f s\n", k, count[k], total[k]
    }' "$build/.ninja_log"
fi

cost="$build/Testing/Temporary/CTestCostData.txt"
if [ -f "$cost" ]; then
  echo
  echo "slowest tests (seconds):"
  awk '/^---/ { exit } NF == 3 { printf "%8.1f  %s\n", $3, $1 }' "$cost" | sort -rn | head -10
  echo "  $(awk '/^---/ { exit } NF == 3' "$cost" | wc -l) tests"
fi

echo
awk '{ s += $1; if ($1 > m) m = $1 } END { if (NR) printf "load average while it ran: mean %.1f, peak %.1f (%d cores)\n", s / NR, m, '"$(nproc)"' }' "$work/load"
if [ "$status" -ne 0 ]; then
  echo "the test command failed; its last lines:"
  tail -20 "$work/output"
fi
$keep && echo "clone and build kept in $work"
exit "$status"
