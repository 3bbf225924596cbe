#!/usr/bin/env bash
# Reads what the build wrote for a platform with an independent parser, UEFIExtract (Debian's
# uefitool-cli): the three FFS files in a volume made by ffstool, their types, GUIDs (from the
# binary INFs), section order and checksums, each PE32 section byte for byte against its .efi
# image, each file byte for byte against its .ffs, each dependency section against the .depex
# the INF lists; and imagecheck's decoded view of one file.
#
#   check-with-uefiextract.sh IMAGES_DIR WORK_DIR FFSTOOL IMAGECHECK
#
# Exit status: 0 pass, 1 fail, 77 when UEFIExtract is not installed.
set -euo pipefail

images=$(realpath "$1") work=$2 ffstool=$3 imagecheck=$4
if ! command -v UEFIExtract >/dev/null; then
  echo "SKIP: UEFIExtract is not installed (Debian: uefitool-cli)"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
cd "$work"

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# module  UEFIExtract file subtype  dependency section  sections in order
modules=(
  "BoardInfoPei|PEI module|PEI dependency|PEI dependency,Raw,PE32 image,UI,Version"
  "BoardInfoDxe|DXE driver|DXE dependency|DXE dependency,PE32 image,UI,Version"
  "S3SaveSmm|SMM module|MM dependency|MM dependency,PE32 image,UI,Version"
)
ffs_files=()
for entry in "${modules[@]}"; do
  ffs_files+=("$images/${entry%%|*}.ffs")
done
"$ffstool" volume -o modules.fv "${ffs_files[@]}"

# A volume without a volume top file is what we built; any other message is a fault it found
# (checksums of the volume header, file headers and file data, sizes, alignment).
UEFIExtract modules.fv report >report.log 2>&1 || fail "UEFIExtract could not read the volume"
if grep -v 'not a single Volume Top File is found' report.log | grep -q .; then
  fail "UEFIExtract reports problems:"
  cat report.log
fi
report=modules.fv.report.txt
grep -q '^ Volume *| FFSv2 ' "$report" || fail "the volume is not read as an FFSv2 volume"

# Section type codes of the dependency sections (PI volume 3).
declare -A type_codes=([PEI_DEPEX]=1B [DXE_DEPEX]=13 [SMM_DEPEX]=1C)

field() { awk -F' *\\| *' -v n="$2" '{print $n}' <<<"$1"; }

for entry in "${modules[@]}"; do
  IFS='|' read -r module subtype depex_section sections <<<"$entry"
  guid=$(sed -n 's/^ *FILE_GUID *= *//p' "$images/$module.inf" | tr -d '\r')
  [[ -n $guid ]] || { fail "$module.inf has no FILE_GUID"; continue; }
  file_line=$(grep -E "^ File .*-- $guid \\| $module\$" "$report" || true)
  if [[ -z $file_line ]]; then
    fail "$module: no file $guid named $module in the volume"
    continue
  fi
  [[ $(field "$file_line" 2) == "$subtype" ]] ||
    fail "$module: file type '$(field "$file_line" 2)', expected '$subtype'"
  # The section lines right after the file line.
  found=$(awk -v g="$guid" '
    index($0, g) && /^ File/ {inside = 1; next}
    inside && /^ Section/ {split($0, f, / *\| */); list = list (list ? "," : "") f[2]; next}
    inside {exit}
    END {print list}' "$report")
  [[ $found == "$sections" ]] || fail "$module: sections '$found', expected '$sections'"

  UEFIExtract modules.fv "$guid" -o "pe32-$module" -m body -t 10 >/dev/null 2>&1 ||
    fail "$module: UEFIExtract found no PE32 section"
  cmp -s "pe32-$module/body.bin" "$images/$module.efi" ||
    fail "$module: the PE32 section differs from $module.efi"
  UEFIExtract modules.fv "$guid" -o "file-$module" -m file -t FF >/dev/null 2>&1 ||
    fail "$module: UEFIExtract could not extract the file"
  cmp -s "file-$module/file.ffs" "$images/$module.ffs" ||
    fail "$module: the file in the volume differs from $module.ffs"
  depex_type=$(grep -oE '(PEI|DXE|SMM)_DEPEX' "$images/$module.inf" | head -1)
  UEFIExtract modules.fv "$guid" -o "depex-$module" -m body -t "${type_codes[$depex_type]}" \
    >/dev/null 2>&1 || fail "$module: no $depex_section section"
  cmp -s "depex-$module/body.bin" "$images/$module.depex" ||
    fail "$module: the $depex_section section differs from $module.depex"
done

# imagecheck decodes the dependency expression into opcodes and GUID names.
"$imagecheck" "$images/BoardInfoDxe.ffs" >imagecheck.txt ||
  fail "imagecheck could not read BoardInfoDxe.ffs"
expected_depex=$(
  cat <<'LINES'
        PUSH PCD_PROTOCOL_GUID (11B34006-D85B-4D0A-A290-D5A571310EF7)
        PUSH EFI_VARIABLE_ARCH_PROTOCOL_GUID (1E5668E2-8481-11D4-BCF1-0080C73C8881)
        AND
        END
LINES
)
grep -A4 'DXE_DEPEX' imagecheck.txt | tail -4 | diff -u <(echo "$expected_depex") - ||
  fail "imagecheck's view of the DXE dependency expression differs"

if [[ $failures -gt 0 ]]; then
  echo "$failures failure(s); files in $work"
  exit 1
fi
echo "UEFIExtract reads the volume and all three files as built"
