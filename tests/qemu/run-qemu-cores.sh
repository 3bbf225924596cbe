#!/usr/bin/env bash
# Runs BoardInfoPei and S3SaveSmm in OVMF's own PEI and SMM cores (QEMU q35, TCG) and compares
# what they do there with boardsim's run of the same board file. Firmware images are built here,
# from Debian's OVMF, with ffstool insert:
#   canary      the image recompressed, nothing added: must still reach the Shell
#   shadowed    PEI harness, BoardInfoPei and the verifier appended to the PEI volume (the
#               module runs from a copy in permanent memory); the SMM harness and the volume
#               holding S3SaveSmm in the DXE volume. S3SaveSmm then stops in its error stop
#   in-place    PEI harness and BoardInfoPei in the PEI apriori file, rebased to where they lie
#               in the volume (the module runs in place); the verifier
#   held-back   BoardInfoPei and the verifier in the plain OVMF image, which has no PEI variable
#               service: the module must never be dispatched
#
#   run-qemu-cores.sh IMAGES_DIR WORK_DIR FFSTOOL IMAGECHECK QEMU_BOARD BOARDSIM BOARD.toml
#
# Exit status: 0 pass, 1 fail, 77 when QEMU or OVMF is missing. Every boot stops QEMU as soon as
# its result is known; each is killed after QEMU_BOOT_TIMEOUT seconds (default 120).
set -euo pipefail

images=$(realpath "$1")
work=$2
ffstool=$3 imagecheck=$4 qemu_board=$5 boardsim=$6 board=$7
ovmf_smm=${OVMF_CODE_SMM:-/usr/share/OVMF/OVMF_CODE_4M.secboot.fd}
ovmf_plain=${OVMF_CODE:-/usr/share/OVMF/OVMF_CODE_4M.fd}
ovmf_vars=${OVMF_VARS:-/usr/share/OVMF/OVMF_VARS_4M.fd}
boot_timeout=${QEMU_BOOT_TIMEOUT:-120}

if ! command -v qemu-system-x86_64 >/dev/null; then
  echo "SKIP: qemu-system-x86_64 is not installed (Debian: qemu-system-x86)"
  exit 77
fi
for file in "$ovmf_smm" "$ovmf_plain" "$ovmf_vars"; do
  if [[ ! -r $file ]]; then
    echo "SKIP: $file is missing (Debian: ovmf)"
    exit 77
  fi
done
rm -rf "$work"
mkdir -p "$work"
work=$(realpath "$work")

failures=0
fail() {
  echo "FAIL [$1]: $2"
  failures=$((failures + 1))
}

# ---- boardsim's prediction for the board ----
status=0
"$boardsim" run "$board" --quiet --trace "$work/boardsim-trace.jsonl" >"$work/boardsim.txt" || status=$?
# 0: the board's own expectations hold (among them the halt in the error stop its CPU leads to).
[[ $status -eq 0 ]] || fail boardsim "boardsim run $board ended with status $status, not 0"
"$qemu_board" expect pei "$work/boardsim-trace.jsonl" >"$work/expected-pei.txt"
# In place the module is in the apriori file, and this PEI core dispatches apriori files without
# evaluating their dependency expressions: the module runs before the PEI variable service is
# installed. The same board with that service absent is boardsim's model of the boot (its
# expectations, written for the shadowed boot, need not hold).
{ cat "$board"; printf '\n[services]\nEFI_PEI_READ_ONLY_VARIABLE2_PPI = false\n'; } |
  "$boardsim" run - --quiet --trace "$work/boardsim-in-place.jsonl" >"$work/boardsim-in-place.txt" ||
  true
"$qemu_board" expect pei "$work/boardsim-in-place.jsonl" >"$work/expected-pei-in-place.txt"
"$qemu_board" expect smm "$work/boardsim-trace.jsonl" >"$work/expected-smm.txt"
"$qemu_board" vars "$board" "$ovmf_vars" "$work/vars-with-setup.fd"

# ---- the firmware images, compressed in parallel ----
insert() {
  local out=$1 base=$2
  shift 2
  "$ffstool" insert -o "$work/$out.fd" --preset 0 --image "$base" "$@" 2>"$work/$out.ffstool.txt" ||
    echo "ffstool insert failed for $out: $(cat "$work/$out.ffstool.txt")" >"$work/$out.failed"
}
insert canary "$ovmf_smm" &
insert shadowed "$ovmf_smm" "pei:$images/QemuPeiHarness.ffs" "pei:$images/BoardInfoPei.ffs" \
  "pei:$images/QemuPeiVerifier.ffs" "dxe:$images/QemuSmmHarness.ffs" \
  "dxe:$images/S3SaveSmmVolume.ffs" &
insert in-place "$ovmf_smm" "pei-apriori:$images/QemuPeiHarness.ffs" \
  "pei-apriori:$images/BoardInfoPei.ffs" "pei:$images/QemuPeiVerifier.ffs" &
insert held-back "$ovmf_plain" "pei:$images/BoardInfoPei.ffs" "pei:$images/QemuPeiVerifier.ffs" &
wait
for failed in "$work"/*.failed; do
  [[ -e $failed ]] || continue
  cat "$failed"
  exit 1
done
for image in shadowed in-place; do
  "$imagecheck" "$work/$image.fd" >"$work/$image.imagecheck.txt"
done
grep -q 'apriori [0-9]*  681566C6-9FBA-4802-A67B-EB86B95D0119' "$work/in-place.imagecheck.txt" ||
  fail in-place "imagecheck does not list BoardInfoPei in the PEI apriori file"
# An independent reader (UEFIExtract, Debian's uefitool-cli) must find the inserted files too.
if command -v UEFIExtract >/dev/null; then
  for image in shadowed in-place; do
    (cd "$work" && UEFIExtract "$image.fd" report >"$image.uefiextract.txt" 2>&1) || true
    for module in QemuPeiHarness BoardInfoPei QemuPeiVerifier; do
      grep -q "| $module\$" "$work/$image.fd.report.txt" ||
        fail "$image" "UEFIExtract does not find $module in the image"
    done
  done
  grep -q '| QemuSmmHarness$' "$work/shadowed.fd.report.txt" ||
    fail shadowed "UEFIExtract does not find QemuSmmHarness in the image"
fi

# boot NAME CODE STOP: boots the image until STOP (a command that succeeds once the result is
# there) or QEMU ends; then stops QEMU. Logs go to WORK/NAME/.
boot() {
  local name=$1 code=$2 stop=$3 dir=$work/$1 pid elapsed=0
  mkdir -p "$dir"
  cp "$work/vars-with-setup.fd" "$dir/vars.fd"
  qemu-system-x86_64 -machine q35,smm=on,accel=tcg -m 512 -display none -no-reboot -nic none \
    -monitor none -global driver=cfi.pflash01,property=secure,value=on \
    -drive "if=pflash,format=raw,readonly=on,file=$code" \
    -drive "if=pflash,format=raw,file=$dir/vars.fd" \
    -serial "file:$dir/serial.log" -debugcon "file:$dir/debugcon.log" \
    -global isa-debugcon.iobase=0x402 -trace memory_region_ops_write -D "$dir/ports.log" \
    </dev/null >"$dir/qemu.log" 2>&1 &
  pid=$!
  while kill -0 "$pid" 2>/dev/null && ! (cd "$dir" && eval "$stop" 2>/dev/null) && ((elapsed < boot_timeout * 10)); do
    sleep 0.1
    elapsed=$((elapsed + 1))
  done
  # The boot's own cost, whatever else loads the machine: QEMU's processor time (stat fields 14
  # and 15, in clock ticks).
  local tenths
  tenths=$(awk -v hz="$(getconf CLK_TCK)" '{print int(($14 + $15) * 10 / hz)}' "/proc/$pid/stat" \
    2>/dev/null || echo 0)
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  ((elapsed < boot_timeout * 10)) || fail "$name" "no result within ${boot_timeout}s (logs in $dir)"
  echo "qemu-cores: $name stopped after $((elapsed / 10)).$((elapsed % 10)) s," \
    "QEMU used $((tenths / 10)).$((tenths % 10)) s of processor time"
}

# The POST-code port writes from the error stop's announcement on, in the order QEMU saw them.
# Port 0x80 is QEMU's one-byte ioport80 device, so a 32-bit write shows as four byte writes at
# 0x80-0x83; nothing decodes port 0xE0, so the system I/O space shows that write whole.
post_code_lines() {
  grep -E -e "name 'ioport80'" -e "addr 0xe0 .*name 'io'" "$1" | sed -n '/addr 0xe0/,$p'
}
port_writes() {
  local value=0 bytes=0 addr byte size
  flush() {
    ((bytes == 0)) || printf 'port port=0x80 width=0x%X value=0x%X\n' $((bytes * 8)) "$value"
    value=0 bytes=0
  }
  while read -r addr byte size; do
    if [[ $addr == 0xe0 ]]; then
      flush
      printf 'port port=0xE0 width=0x%X value=0x%X\n' $((size * 8)) "$((byte))"
      continue
    fi
    ((addr != 0x80)) || flush
    value=$((value | byte << (8 * (addr - 0x80))))
    bytes=$((bytes + 1))
  done < <(post_code_lines "$1" | head -n "$2" |
    sed 's/.* addr \(0x[0-9a-f]*\) value \(0x[0-9a-f]*\) size \([0-9]\).*/\1 \2 \3/')
  flush
}

# The harness's lines for the comparison, without its own progress lines.
board_lines() { sed -n 's/^qemu-board: //p' "$1" | grep -v '^harness ' || true; }

compare() {
  local name=$1 expected=$2 actual=$3
  if ! diff -u "$expected" "$actual" >"$work/$name/compare.diff"; then
    fail "$name" "what the real cores did differs from boardsim's run of $(basename "$board"):"
    cat "$work/$name/compare.diff"
  fi
}

# Canary: OVMF recompressed by ffstool still boots to the Shell.
boot canary "$work/canary.fd" "grep -q 'UEFI Interactive Shell' serial.log"
grep -q 'UEFI Interactive Shell' "$work/canary/serial.log" ||
  fail canary "the recompressed image did not reach the Shell: ffstool or OVMF's layout changed"

# In place: the module ran from the volume (in-volume=1), and did what boardsim predicts.
boot in-place "$work/in-place.fd" "grep -q '^qemu-board: pei done' debugcon.log"
board_lines "$work/in-place/debugcon.log" | grep -v -e '^board-info-ppi' -e ' null$' -e '^pei done' \
  >"$work/in-place/pei.txt"
compare in-place "$work/expected-pei-in-place.txt" "$work/in-place/pei.txt"
grep -q '^qemu-board: board-info-ppi status=0x0 in-volume=0x1$' "$work/in-place/debugcon.log" ||
  fail in-place "BOARD_INFO_PPI is not inside a firmware volume: the module did not run in place"

# Held back: without a PEI variable service its dependency expression never holds.
boot held-back "$work/held-back.fd" "grep -q '^qemu-board: pei done' debugcon.log"
board_lines "$work/held-back/debugcon.log" >"$work/held-back/pei.txt"
printf '%s\n' 'board-info-ppi status=0x800000000000000E' 'pei done' >"$work/held-back/expected.txt"
compare held-back "$work/held-back/expected.txt" "$work/held-back/pei.txt"

# Shadowed, then SMM: stops once the error stop's display has cycled as often as boardsim's
# board lets it (error_stop_cycles), counted in QEMU's trace lines (one per byte at port 0x80).
trace_lines=0
while read -r _ port width _; do
  width=${width#width=}
  if [[ $port == port=0xE0 ]]; then
    trace_lines=$((trace_lines + 1))
  else
    trace_lines=$((trace_lines + width / 8))
  fi
done < <(grep '^port ' "$work/expected-smm.txt")
boot shadowed "$work/shadowed.fd" "[[ \$(post_code_lines ports.log | head -n $trace_lines | wc -l) -ge $trace_lines ]]"
board_lines "$work/shadowed/debugcon.log" | sed -n '/^pei done/q;p' |
  grep -v -e '^board-info-ppi' -e ' null$' >"$work/shadowed/pei.txt"
compare shadowed "$work/expected-pei.txt" "$work/shadowed/pei.txt"
grep -q '^qemu-board: board-info-ppi status=0x0 in-volume=0x0$' "$work/shadowed/debugcon.log" ||
  fail shadowed "BOARD_INFO_PPI is not in memory: the module was not shadowed"
mkdir -p "$work/smm"
{
  board_lines "$work/shadowed/debugcon.log" | grep '^heap-node '
  port_writes "$work/shadowed/ports.log" "$trace_lines"
} >"$work/smm/smm.txt"
compare smm "$work/expected-smm.txt" "$work/smm/smm.txt"
# The first SMM dispatch round must start nothing: S3SaveSmm waits for the harness's PCD_PROTOCOL.
grep -q '^qemu-board: harness dispatch without-pcd status=0x0 heap-list=0x800000000000000E$' \
  "$work/shadowed/debugcon.log" ||
  fail smm "S3SaveSmm started while PCD_PROTOCOL was withheld, or the first round did not run"
for null in 1 2 5 8 9; do
  grep -q "^qemu-board: call BOARD_INFO_PPI.$null null\$" "$work/shadowed/debugcon.log" ||
    fail shadowed "BOARD_INFO_PPI entry $null is not null"
done

if [[ $failures -gt 0 ]]; then
  echo "qemu-cores: $failures failure(s); logs in $work"
  exit 1
fi
echo "qemu-cores: all boots match boardsim (logs in $work)"
