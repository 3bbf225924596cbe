#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Safe to run again: it installs
# only what is missing and says nothing when everything is there. Needs root (or sudo).
#
#   scripts/setup.sh [build|test-build|test-tools|test]
#
# `build`: what configuring and building the default preset needs (the main job); `test-build`:
# that and what building the test preset needs besides; `test-tools`: the programs only the tests
# run (QEMU, OVMF, UEFIExtract, the browser); `test` (the default): all of them.
set -euo pipefail

build_packages=(
  clang lld llvm cmake ninja-build g++
  libgtest-dev libgmock-dev libbenchmark-dev
  libtomlplusplus-dev nlohmann-json3-dev libcli11-dev
  libunicorn-dev libcapstone-dev pkg-config liblzma-dev
)
test_build_packages=(libclang-rt-14-dev)
test_tool_packages=(qemu-system-x86 ovmf mtools uefitool-cli)
# The HTML log's browser test; without them it skips, so failing to install them is no error.
browser_packages=(chromium chromium-driver python3-selenium)
packages=()
optional=()
case ${1:-test} in
build) packages=("${build_packages[@]}") ;;
test-build) packages=("${build_packages[@]}" "${test_build_packages[@]}") ;;
test-tools)
  packages=("${test_tool_packages[@]}")
  optional=("${browser_packages[@]}")
  ;;
test)
  packages=("${build_packages[@]}" "${test_build_packages[@]}" "${test_tool_packages[@]}")
  optional=("${browser_packages[@]}")
  ;;
*)
  echo "setup: unknown package set '$1' (build, test-build, test-tools or test)" >&2
  exit 4
  ;;
esac

# The packages of a list that are not installed yet.
missing_of() {
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_optional < <(missing_of "${optional[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null; then
    if [ ${#missing[@]} -eq 0 ]; then
      echo "setup: not root, so ${missing_optional[*]} stay missing; the browser test will skip"
      exit 0
    fi
    echo "setup: run as root to install: ${missing[*]}" >&2
    exit 1
  fi
  sudo=sudo
fi
echo "setup: installing ${missing[*]} ${missing_optional[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ${#missing_optional[@]} -gt 0 ]; then
  $sudo apt-get install -y -qq --no-install-recommends "${missing_optional[@]}" >/dev/null ||
    echo "setup: could not install ${missing_optional[*]}; the HTML log's browser test will skip"
fi
