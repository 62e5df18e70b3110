#!/usr/bin/env bash
# Installs what building and testing tesk needs; does nothing when all of it is present.
set -euo pipefail
pkgs=(cmake ninja-build g++ clang-14 libclang-rt-14-dev python3 libgtest-dev llvm-15-dev llvm-15-tools lld-15
      libc6-dev-arm64-cross libgcc-12-dev-arm64-cross qemu-user)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""
  [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  echo "setup: installing ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}" >/dev/null
fi
