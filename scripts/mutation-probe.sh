#!/bin/bash
# A probe of the command's test suites: plants one plausible one-line bug at
# a time (scripts/mutations/NN.patch, whose first line says what it
# breaks), builds the libraries' test programs and the command, runs them,
# and tells whether some test failed. Works on a copy of what is committed,
# never on the checkout.
#
#   scripts/mutation-probe.sh [PATCH ...]    (default: every patch)
#
# Prints one line per patch and "caught N of M"; exits 1 when a patch no
# longer applies or the unpatched suite fails. Takes about a minute a patch
# on two cores.
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
patches=("$@")
if [ ${#patches[@]} -eq 0 ]; then
    patches=("$repo"/scripts/mutations/[0-9]*.patch)
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/velpo-probe.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Some tests run the built command as an unprivileged user: it must reach it.
chmod 755 "$work"
git -C "$repo" archive HEAD | tar -x -C "$work" || exit 1
cd "$work" || exit 1

programs=(velpo_tools_common_test velpo_session_test velpo_sequence_test velpo_contents_test
          velpo_tables_test velpo_ply_test velpo_preview_test velpo_command_test)
build() { cmake --build --preset release -j2 --target "${programs[@]}" velpo Velpo >"$1" 2>&1; }
# The first failing test is enough: fail fast, program by program.
suite() {
    local program
    for program in "${programs[@]}"; do
        (cd build/release && "./bin/$program" --gtest_brief=1 $fast) >>"$1" 2>&1 || return 1
    done
}

cmake --preset release >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; exit 1; }
fast=
build "$work/base.build" || { tail -20 "$work/base.build"; echo "the unpatched tree does not build"; exit 1; }
suite "$work/base.test" || { tail -20 "$work/base.test"; echo "the unpatched suite fails"; exit 1; }
fast=--gtest_fail_fast

caught=0
total=0
status=0
for patch in "${patches[@]}"; do
    name=$(basename "$patch" .patch)
    what=$(head -1 "$patch")
    if ! patch -p1 -s --dry-run <"$patch" >/dev/null; then
        echo "$name: no longer applies: $what"
        status=1
        continue
    fi
    patch -p1 -s <"$patch"
    total=$((total + 1))
    log="$work/$name.log"
    if ! build "$log"; then
        result="caught (does not build)"
    elif suite "$log"; then
        result="SURVIVED"
    else
        failed=$(grep -o '^\[  FAILED  \] [A-Za-z0-9_./]*' "$log" | head -1 | awk '{print $4}')
        result="caught by $failed"
    fi
    [ "$result" = SURVIVED ] || caught=$((caught + 1))
    patch -p1 -R -s <"$patch"
    echo "$name: $result: $what"
done
echo "caught $caught of $total"
exit $status
