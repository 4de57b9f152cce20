#!/usr/bin/env bash
# Makes the Wine prefix ($WINEPREFIX, or ~/.wine) ready before the Windows
# test programs run, and checks that Wine starts a program in it.
#
# ctest starts several programs under Wine at once. On a machine where Wine
# has never run, each would create the prefix, and they trip over each other
# (a server folder that disappears under the other program). Created here
# once, in one process, the prefix is complete before any of them starts.
#
# Usage: scripts/wine-prefix.sh   (exit 1, saying why, when Wine cannot start)
set -euo pipefail

if ! command -v wine >/dev/null || ! command -v wineboot >/dev/null ||
   ! command -v wineserver >/dev/null; then
  echo "wine prefix: wine, wineboot and wineserver must be installed (scripts/deps.sh win32)" >&2
  exit 1
fi
prefix=${WINEPREFIX:-$HOME/.wine}
export WINEDEBUG=-all
# Nothing here needs .NET or HTML; without them a new prefix is made sooner.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

log=$(mktemp "${TMPDIR:-/tmp}/velpo-wineboot.XXXXXX")
trap 'rm -f "$log"' EXIT
fail() {
  echo "wine prefix: Wine cannot start in $prefix: $*" >&2
  sed 's/^/  /' "$log" >&2
  exit 1
}

# wineboot returns once the prefix is made; the server it started may still
# be writing the registry, so wait until it has finished and exited.
if [ ! -f "$prefix/system.reg" ]; then
  timeout 600 wineboot -i >"$log" 2>&1 || fail "wineboot -i failed (exit $?)"
  timeout 120 wineserver -w >>"$log" 2>&1 || fail "wineserver -w failed (exit $?)"
  [ -f "$prefix/system.reg" ] || fail "wineboot left no registry ($prefix/system.reg)"
fi

# A program of the prefix, to know that Wine runs programs, not only that it
# made the folder. A prefix of an older Wine is also brought up to date here,
# by this one process.
answer=$(timeout 120 wine cmd /c echo ready 2>>"$log" | tr -d '\r') ||
  fail "wine cmd /c echo ready failed (exit $?)"
[ "$answer" = ready ] || fail "wine cmd printed \"$answer\" instead of \"ready\""
echo "wine prefix: $prefix is ready"
