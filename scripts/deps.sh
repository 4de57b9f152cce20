#!/usr/bin/env bash
# Installs the system packages the build needs, only those that are missing.
# Usage: scripts/deps.sh GROUP...
#   linux  the Linux build and its tests (the default; Slurm and munge for the
#          job-array test, which starts its own daemons)
#   clang  clang with its sanitizer and libFuzzer runtimes (tsan and fuzz presets)
#   format clang-format 14, whose output the format check compares
#   win32  the MinGW-w64 cross compiler, GoogleTest's sources and Wine
#
# On a system without dpkg and apt-get nothing is installed: the script only
# checks that the programs the build runs are on the PATH and leaves the
# libraries to CMake, which names any it cannot find.
set -euo pipefail

packages=()
programs=()
for group in "${@:-linux}"; do
  case "$group" in
    linux)
      packages+=(cmake ninja-build g++ libgtest-dev libbenchmark-dev libcli11-dev
                 nlohmann-json3-dev libstb-dev libxxhash-dev libcpp-httplib-dev libfmt-dev
                 chromium chromium-driver python3-selenium python3-pil
                 python3-dev python3-numpy python3-pybind11 python3-pytest python3-meshio
                 python3-pandas
                 python3-pip python3-setuptools python3-wheel python3-venv
                 slurm-wlm munge)
      programs+=(cmake ninja g++) ;;
    clang)
      packages+=(clang libclang-rt-dev)
      programs+=(clang++) ;;
    format)
      packages+=(clang-format-14)
      programs+=("clang-format-14|clang-format") ;;
    win32)
      packages+=(g++-mingw-w64-i686-posix googletest wine wine32:i386)
      programs+=(i686-w64-mingw32-g++-posix wine wineboot wineserver) ;;
    *)
      echo "usage: $0 [linux|clang|format|win32]..." >&2
      exit 2 ;;
  esac
done

if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
  echo "note: no dpkg/apt-get on this system, so no packages are installed;" \
       "checking only for the programs the build runs: ${programs[*]}" >&2
  absent=()
  for alternatives in "${programs[@]}"; do
    found=no
    IFS='|' read -ra names <<<"$alternatives"
    for name in "${names[@]}"; do
      command -v "$name" >/dev/null && found=yes
    done
    [ $found = yes ] || absent+=("${alternatives//|/ or }")
  done
  if [ ${#absent[@]} -gt 0 ]; then
    list=$(printf ', %s' "${absent[@]}")
    echo "error: not found on the PATH: ${list:2}; install them with the system's" \
         "package manager" >&2
    exit 1
  fi
  exit 0
fi

missing=()
for pkg in "${packages[@]}"; do
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
# Another installer may hold dpkg's lock for a while (a second build, the
# system's own updates): wait for it rather than fail.
lock=(-o DPkg::Lock::Timeout=600)
apt-get "${lock[@]}" update -qq
apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
