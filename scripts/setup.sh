#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Safe to run again: it installs
# only what is missing and says nothing when everything is there. Needs root (or sudo).
#
#   scripts/setup.sh [build|test]
#
# `build`: what configuring and building the default preset needs (the main job); `test` (the
# default): that and what the test preset and the QEMU/OVMF check need besides.
set -euo pipefail

packages=(
  clang lld llvm cmake ninja-build g++
  libgtest-dev libgmock-dev libbenchmark-dev
  libtomlplusplus-dev nlohmann-json3-dev libcli11-dev
  libunicorn-dev libcapstone-dev pkg-config
)
case ${1:-test} in
build) ;;
test) packages+=(libclang-rt-14-dev qemu-system-x86 ovmf mtools uefitool-cli) ;;
*) echo "setup: unknown package set '$1' (build or test)" >&2; exit 4 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: run as root to install: ${missing[*]}" >&2; exit 1; }
  sudo=sudo
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
