#!/usr/bin/env bash
# Installs the system packages the build needs, only those that are missing.
# Usage: scripts/deps.sh [linux|win32]
set -euo pipefail

want=(cmake ninja-build g++ clang clang-format libgtest-dev libgmock-dev libbenchmark-dev
      libcli11-dev nlohmann-json3-dev libstb-dev
      python3-dev python3-numpy python3-pybind11 python3-pytest
      python3-pip python3-setuptools python3-wheel python3-venv)
if [ "${1:-linux}" = win32 ]; then
  want+=(g++-mingw-w64-i686-posix wine wine32:i386)
fi

missing=()
for pkg in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "error: these packages are missing and installing them needs root:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
# Wine's 32-bit half comes from the i386 architecture, which apt only lists
# once dpkg knows it (hence before the update).
if [[ " ${missing[*]} " == *":i386 "* ]]; then
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
