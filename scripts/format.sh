#!/usr/bin/env bash
# Formats the repository's C++ files by .clang-format, or checks that they
# are formatted (what CI runs). clang-format lays code out differently from
# one major version to the next, so the check uses the one version whose
# output the repository holds, and refuses to run with another.
#
# Usage: scripts/format.sh check|fix   (CLANG_FORMAT=PROGRAM to choose one)
set -euo pipefail
cd "$(dirname "$0")/.."

wanted=14
mode=${1:-}
if [ "$mode" != check ] && [ "$mode" != fix ]; then
  echo "usage: $0 check|fix" >&2
  exit 2
fi

tool=""
seen=()
for candidate in ${CLANG_FORMAT:-} clang-format-$wanted clang-format; do
  command -v "$candidate" >/dev/null || continue
  version=$("$candidate" --version 2>/dev/null | sed -n 's/.*clang-format version \([0-9]*\).*/\1/p') || true
  if [ "$version" = "$wanted" ]; then
    tool=$candidate
    break
  fi
  seen+=("$candidate is version ${version:-unknown}")
done
if [ -z "$tool" ]; then
  echo "format: needs clang-format $wanted, whose layout the repository holds;" \
       "${seen[*]:-no clang-format found}. Install clang-format-$wanted" \
       "(scripts/deps.sh format) or set CLANG_FORMAT." >&2
  exit 1
fi

if [ "$mode" = check ]; then
  git ls-files -z '*.cpp' '*.h' | xargs -0 "$tool" --dry-run --Werror
else
  git ls-files -z '*.cpp' '*.h' | xargs -0 "$tool" -i
fi
