#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Safe to run again: it installs
# only what is missing and says nothing when everything is there. Needs root (or sudo).
set -euo pipefail

packages=(
  clang lld llvm cmake ninja-build g++ libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libtomlplusplus-dev nlohmann-json3-dev libcli11-dev
  qemu-system-x86 ovmf mtools uefitool-cli
  libunicorn-dev libcapstone-dev pkg-config liblzma-dev
)

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
