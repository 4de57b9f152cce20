#!/usr/bin/env bash
# Runs the Windows build's tests under Wine and the cache exchange check
# between the Linux and the Windows build, once both are built.
#
# Wine runs a 32-bit Windows program as a 32-bit Linux process. A kernel
# built without 32-bit support (some virtual machines' are) refuses every
# such process with "Exec format error", and then no Windows test can run at
# all: that is said loudly and the tests are skipped (exit 0), since nothing
# about the build is learnt from it. Any other failure to start Wine fails.
#
# Usage: scripts/win32-tests.sh JOBS
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${1:-$(nproc)}

# The 32-bit loader of the C library: a 32-bit program that every i386
# system has, and that Wine's own 32-bit loader needs.
loader=/lib/ld-linux.so.2
if [ -x "$loader" ]; then
  set +e
  why=$("$loader" --version 2>&1 >/dev/null)
  status=$?
  set -e
  if [ "$status" -eq 126 ] && grep -q "Exec format error" <<<"$why"; then
    cat >&2 <<MESSAGE
======================================================================
SKIPPED: the Windows tests under Wine and the cache exchange check.
This machine's kernel ($(uname -r)) cannot run 32-bit programs:
  $loader: Exec format error
so Wine cannot start the 32-bit Windows build here. The Windows build
itself was cross-built above (build/win32/bin). Run 'make test-win32' on
a machine whose kernel runs 32-bit programs to test it.
======================================================================
MESSAGE
    exit 0
  fi
fi

scripts/wine-prefix.sh
ctest --preset win32 -j "$jobs"
scripts/exchange-check.sh build/release/bin build/win32/bin
