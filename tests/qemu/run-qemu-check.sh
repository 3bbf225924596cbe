#!/usr/bin/env bash
# Starts BoardInfoDxeQemu in real UEFI firmware (OVMF on QEMU q35, TCG) and checks what it does
# against the devices QEMU was given. Two boots: in the first, the harness sets the Setup variable
# and OVMF's dispatcher starts the driver from a firmware volume (BoardInfoDxeQemu.fv) once the
# harness has installed what its dependency expression names; in the second there is no Setup
# variable and the UEFI Shell loads BoardInfoDxeQemu.efi.
#
#   run-qemu-check.sh IMAGES_DIR [WORK_DIR]
#
# IMAGES_DIR holds QemuHarness.efi, QemuHarnessNoSetup.efi, BoardInfoDxeQemu.efi,
# BoardInfoDxeQemu.fv, QemuCheckApp.efi and BoardInfoDxe.inf (for the driver's file GUID). Logs go
# to WORK_DIR (default IMAGES_DIR/../qemu-check). Exit status: 0 pass, 1 fail, 77 when QEMU, OVMF
# or mtools are missing.
set -euo pipefail

images=$(realpath "${1:?usage: run-qemu-check.sh IMAGES_DIR [WORK_DIR]}")
work=${2:-$images/../qemu-check}
# The SMM-enabled image, in which BoardInfoPei and S3SaveSmm run too (run-qemu-cores.sh).
ovmf_code=${OVMF_CODE:-/usr/share/OVMF/OVMF_CODE_4M.secboot.fd}
ovmf_vars=${OVMF_VARS:-/usr/share/OVMF/OVMF_VARS_4M.fd}
boot_timeout=${QEMU_BOOT_TIMEOUT:-60}

for tool in qemu-system-x86_64 mformat mcopy timeout; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (Debian: qemu-system-x86, mtools)"
    exit 77
  fi
done
for file in "$ovmf_code" "$ovmf_vars"; do
  if [[ ! -r $file ]]; then
    echo "SKIP: $file is missing (Debian: ovmf)"
    exit 77
  fi
done
for file in QemuHarness.efi QemuHarnessNoSetup.efi BoardInfoDxeQemu.efi BoardInfoDxeQemu.fv \
  QemuCheckApp.efi BoardInfoDxe.inf; do
  if [[ ! -r $images/$file ]]; then
    echo "FAIL: $images/$file is missing; build the qemu-check-images target" >&2
    exit 1
  fi
done
mkdir -p "$work"
work=$(realpath "$work")

# The topology. The harness answers the bridge tokens with the root ports 00:1c.0-00:1c.3
# (Harness/QemuTopology.h) and token 251 with 2, so controllers 2 and 4 are function 1 of a
# two-function device and controller 3 is function 0 of a single-function one. Functions 0 of
# the two-function devices get addresses the driver must not report.
mac_nic1=02:1a:2b:3c:4d:11
mac_nic2_f0=02:1a:2b:3c:4d:20
mac_nic2=02:1a:2b:3c:4d:21
mac_nic3=02:1a:2b:3c:4d:30
mac_nic4_f0=02:1a:2b:3c:4d:40
mac_nic4=02:1a:2b:3c:4d:41

topology=(
  -device pcie-root-port,id=rp1,bus=pcie.0,addr=0x1c.0,multifunction=on,chassis=1,slot=1
  -device pcie-root-port,id=rp2,bus=pcie.0,addr=0x1c.1,chassis=1,slot=2
  -device pcie-root-port,id=rp3,bus=pcie.0,addr=0x1c.2,chassis=1,slot=3
  -device pcie-root-port,id=rp4,bus=pcie.0,addr=0x1c.3,chassis=1,slot=4
  # Controller 1: an Intel 82574L (e1000e, ID 0x10D38086), address in RAL/RAH at BAR0 + 0x5400.
  -device "e1000e,bus=rp1,addr=0.0,mac=$mac_nic1,romfile="
  -device "e1000e,bus=rp2,addr=0.0,multifunction=on,mac=$mac_nic2_f0,romfile="
  -device "e1000e,bus=rp2,addr=0.1,mac=$mac_nic2,romfile="
  -device "e1000e,bus=rp3,addr=0.0,mac=$mac_nic3,romfile="
  # A conventional PCI Intel 82540EM (e1000) pair; same address registers.
  -device "e1000,bus=rp4,addr=0.0,multifunction=on,mac=$mac_nic4_f0,romfile="
  -device "e1000,bus=rp4,addr=0.1,mac=$mac_nic4,romfile="
)

# "02:1a:..." -> "021A..." as the check application prints addresses.
hex_mac() { tr -d : <<<"${1^^}"; }

# "1D201C8B-19AB-..." -> the GUID's 16 bytes in memory order, as the harness prints them.
guid_bytes() {
  local g=${1//-/}
  echo "${g:6:2}${g:4:2}${g:2:2}${g:0:2}${g:10:2}${g:8:2}${g:14:2}${g:12:2}${g:16:16}"
}
driver_file_guid=$(sed -n 's/^ *FILE_GUID *= *//p' "$images/BoardInfoDxe.inf" | tr -d '\r')

# What the harness prints when the Shell loads the driver after it.
harness_shell_lines() {
  echo "harness pcd-override status=0x0"
  echo "harness device-copy-mem status=0x0"
  echo "harness setup-item status=0x0"
  echo "harness record status=0x0"
}

# What the harness prints when it has the dispatcher start the driver from the volume. Without
# the PCD protocol the dispatcher starts nothing (EFI_NOT_FOUND) and the driver's protocol is not
# there; with the harness's PCD protocol installed it starts the driver, whose image is then the
# volume's file with the driver's file GUID.
harness_volume_lines() {
  echo "harness device-copy-mem status=0x0"
  echo "harness setup-item status=0x0"
  echo "harness record status=0x0"
  echo "harness process-volume status=0x0"
  echo "harness pcd-withdrawn status=0x0"
  echo "harness dispatch without-pcd status=0x800000000000000E board-info=0x800000000000000E"
  echo "harness pcd-installed status=0x0"
  echo "harness dispatch with-pcd status=0x0 board-info=0x0"
  echo "harness board-info-image from-volume=1 file=$(guid_bytes "$driver_file_guid")"
}

# The lines the harness and the check application must print, in order.
expected_transcript() {
  local setup_line=$1 harness_lines=$2 stage
  echo "$setup_line"
  $harness_lines
  echo "harness-record status=0x0"
  echo "board-info-protocol status=0x0"
  echo "slots 0=0x0 1=0x0 2=0x0 5=0x1 6=0x0 7=0x0"
  echo "reserved-slots non-null=0"
  for stage in before after; do
    echo "$stage get-nic-mac-addresses status=0x0"
    echo "$stage nic-buffer1-head A5A5A5"
    echo "$stage nic-list1 count=1 $(hex_mac $mac_nic1)"
    echo "$stage nic-list2 count=3 $(hex_mac $mac_nic2) $(hex_mac $mac_nic3) $(hex_mac $mac_nic4)"
    echo "$stage platform-signal status=0x0"
    # Neither an I350 nor an X540/82599 behind the first bridge: 0x707 is the code left out.
    echo "$stage mark-item calls=2"
    echo "$stage mark-item Setup 0x705"
    echo "$stage mark-item Setup 0x706"
    if [[ $stage == before ]]; then
      echo "ready-to-boot status=0x0 notified=1"
    fi
  done
  echo "done"
}

# The console with terminal escape sequences and carriage returns removed.
plain_console() { sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' -e 's/\r//g' "$1"; }

failures=0
fail() {
  echo "FAIL [$boot]: $*"
  failures=$((failures + 1))
}

# run_boot NAME HARNESS SETUP_LINE DRIVER_FROM: one boot to the Shell, which runs startup.nsh and
# powers off. DRIVER_FROM is "shell" (the Shell loads the driver) or "volume" (the harness has the
# dispatcher start it from BoardInfoDxeQemu.fv).
run_boot() {
  boot=$1
  local harness=$2 setup_line=$3 driver_from=$4 failures_before=$failures
  local dir=$work/$boot loaded=("$harness") commands=('fs0:' "load $harness.efi")
  rm -rf "$dir"
  mkdir -p "$dir"
  if [[ $driver_from == shell ]]; then
    loaded+=(BoardInfoDxeQemu)
    commands+=('load BoardInfoDxeQemu.efi')
  fi
  printf '%s\r\n' "${commands[@]}" 'QemuCheckApp.efi' 'reset -s' >"$dir/startup.nsh"
  mformat -C -f 1440 -i "$dir/disk.img" ::
  mcopy -i "$dir/disk.img" "$dir/startup.nsh" "$images/$harness.efi" \
    "$images/BoardInfoDxeQemu.efi" "$images/BoardInfoDxeQemu.fv" "$images/QemuCheckApp.efi" ::
  cp "$ovmf_vars" "$dir/vars.fd"

  local status=0
  timeout --kill-after=5 "$boot_timeout" qemu-system-x86_64 \
    -machine q35,smm=on,accel=tcg -m 256 -nographic -no-reboot -nic none -monitor none \
    -global driver=cfi.pflash01,property=secure,value=on \
    -drive "if=pflash,format=raw,readonly=on,file=$ovmf_code" \
    -drive "if=pflash,format=raw,file=$dir/vars.fd" \
    -drive "if=none,id=fat,format=raw,file=$dir/disk.img" -device ide-hd,drive=fat,bus=ide.0 \
    "${topology[@]}" -serial "file:$dir/serial.log" </dev/null >"$dir/qemu.log" 2>&1 || status=$?
  plain_console "$dir/serial.log" >"$dir/console.log"

  if [[ $status -eq 124 || $status -eq 137 ]]; then
    fail "no power-off within ${boot_timeout}s: the firmware hung or the Shell did not finish"
  elif [[ $status -ne 0 ]]; then
    fail "QEMU exited with status $status (see $dir/qemu.log)"
  fi
  # The Shell's load command reports each image's entry status.
  for image in "${loaded[@]}"; do
    grep -Eq "^Image 'FS0:\\\\$image\\.efi' loaded at [0-9A-F]+ - Success\$" \
      "$dir/console.log" || fail "the Shell did not report a successful entry of $image"
  done
  grep '^qemu-check: ' "$dir/console.log" | sed 's/^qemu-check: //' >"$dir/transcript.txt" || true
  expected_transcript "$setup_line" "harness_${driver_from}_lines" >"$dir/expected.txt"
  if ! diff -u "$dir/expected.txt" "$dir/transcript.txt" >"$dir/transcript.diff"; then
    fail "the check lines differ from what QEMU's configuration implies:"
    cat "$dir/transcript.diff"
  fi
  if [[ $failures -gt $failures_before ]]; then
    echo "serial log kept: $dir/serial.log (plain text: $dir/console.log)"
  fi
}

run_boot with-setup QemuHarness "harness setup-variable set status=0x0" volume
# EFI_NOT_FOUND: the driver starts without a Setup variable and must still stay resident.
run_boot without-setup QemuHarnessNoSetup "harness setup-variable probe status=0x800000000000000E" \
  shell

if [[ $failures -gt 0 ]]; then
  echo "qemu-check: $failures failure(s); logs in $work"
  exit 1
fi
echo "qemu-check: both boots passed (logs in $work)"
