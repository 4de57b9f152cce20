#!/usr/bin/env bash
# Checks that the Linux and the Windows build share one file format:
#  1. both run the same demo scene, each reading its own caches back exactly;
#  2. the cache files they write are the same files, byte for byte;
#  3. each build reads its own and the other's caches back through
#     VelpoImport and VelpoSetData into CSV tables, and all four sets of
#     tables are the same, byte for byte.
# The Windows build runs under Wine.
#
# Usage: scripts/exchange-check.sh LINUX_BIN WIN_BIN
#   LINUX_BIN  folder with velpo and libVelpo.so   (e.g. build/release/bin)
#   WIN_BIN    folder with velpo.exe and Velpo.32.dll (e.g. build/win32/bin)
set -euo pipefail

if [ $# -ne 2 ]; then
  echo "usage: $0 LINUX_BIN WIN_BIN" >&2
  exit 2
fi
linux_velpo="$(cd "$1" && pwd)/velpo"
win_velpo="$(cd "$2" && pwd)/velpo.exe"
for program in "$linux_velpo" "$win_velpo"; do
  if [ ! -f "$program" ]; then
    echo "exchange check: $program not found; build it first" >&2
    exit 2
  fi
done
command -v wine >/dev/null || { echo "exchange check: wine is not installed" >&2; exit 2; }
export WINEDEBUG=-all
# Nothing here needs .NET or HTML; without them a new Wine prefix starts sooner.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# A small scene, the same for both builds. The thread count is fixed so the
# runs differ in nothing but the build.
frames=1-6
step=10
demo_args=(--particles 20000 --frames "$frames" --step "$step" --threads 2)

work="$(mktemp -d "${TMPDIR:-/tmp}/velpo-exchange.XXXXXX")"
trap 'rm -rf "$work"' EXIT
# Every path below is relative to $work, so both builds see the same names
# (Wine maps the Unix folder it starts in to a drive of its own).
cd "$work"

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Runs a velpo build: linux or win.
velpo() {
  local build=$1
  shift
  if [ "$build" = linux ]; then
    "$linux_velpo" "$@"
  else
    # The console is in text mode on Windows; compare its lines as Linux's.
    wine "$win_velpo" "$@" | tr -d '\r'
    return "${PIPESTATUS[0]}"
  fi
}

echo "== demo scene (${demo_args[*]}) with each build"
for build in linux win; do
  if ! velpo "$build" demo --dir "$build/cache" "${demo_args[@]}" >"$build-demo.txt" 2>"$build-demo.err"; then
    fail "$build demo failed:"
    cat "$build-demo.txt" "$build-demo.err" >&2
    continue
  fi
  if ! grep -q "round trip: exact" "$build-demo.txt"; then
    fail "$build demo does not report an exact round trip"
  fi
  echo "  $build: $(grep "round trip" "$build-demo.txt" | sed 's/^ *//')"
done
[ "$failures" -eq 0 ] || { echo "exchange check: FAILED" >&2; exit 1; }

echo "== cache files, Linux against Windows"
(cd linux/cache && ls) >linux-files.txt
(cd win/cache && ls) >win-files.txt
if ! diff -u linux-files.txt win-files.txt; then
  fail "the builds wrote different sets of files"
fi
file_count=0
bytes=0
while read -r name; do
  if [ -f "win/cache/$name" ]; then
    if cmp "linux/cache/$name" "win/cache/$name"; then
      file_count=$((file_count + 1))
      bytes=$((bytes + $(wc -c <"linux/cache/$name")))
    else
      fail "$name differs between the builds"
    fi
  fi
done <linux-files.txt
[ -s linux-files.txt ] || fail "the demo wrote no cache files"
echo "  $file_count files identical, $bytes bytes"

# The settings name every attribute the demo writes, so the tables hold every
# value of every file. Checked against the records of the first file, so the
# check cannot go on passing if the demo's attributes change.
attributes='"Float0": "age", "Float1": "mass", "Float2": "drag",
  "Long0": "state", "Long1": "emitter",
  "Vector0": "velocity", "Vector1": "colour", "Vector2": "gravity"'
expected_records="$(printf '%s\n' id position $(echo "$attributes" | grep -o ': "[a-z]*"' | tr -d ':" ') | sort)"
first_file="linux/cache/$(head -n 1 linux-files.txt)"
records="$("$linux_velpo" info --json "$first_file" | grep -o '"name":"[^"]*"' | sed 's/"name":"\(.*\)"/\1/' | sort)"
if [ "$records" != "$expected_records" ]; then
  fail "the demo's records ($(echo $records)) are not the attributes the settings name ($(echo $expected_records))"
fi

for writer in linux win; do
  cat >"from-$writer.json" <<EOF
{"Path": "$writer/cache/particles", "Step": $step,
  $attributes}
EOF
done

echo "== each build reads both builds' caches into tables"
for reader in linux win; do
  for writer in linux win; do
    tables="tables/$reader-from-$writer"
    mkdir -p "$tables"
    if ! velpo "$reader" import --settings "from-$writer.json" --frames "$frames" --threads 2 \
        --output "$tables/particles.#.csv" >"$tables.out" 2>"$tables.err"; then
      fail "$reader build could not read the caches of the $writer build:"
      cat "$tables.out" "$tables.err" >&2
    fi
  done
done
reference=tables/linux-from-linux
table_count=$(ls "$reference" | wc -l)
rows=$(cat "$reference"/*.csv | wc -l)
[ "$table_count" -gt 0 ] || fail "no tables were written"
for other in linux-from-win win-from-win win-from-linux; do
  if diff -r -q "$reference" "tables/$other" >/dev/null; then
    echo "  $other: identical to linux-from-linux"
  else
    fail "tables/$other differ from $reference:"
    diff -r -q "$reference" "tables/$other" >&2 || true
  fi
done
echo "  $table_count tables, $rows lines each set"

if [ "$failures" -ne 0 ]; then
  echo "exchange check: FAILED ($failures problems)" >&2
  exit 1
fi
echo "exchange check: passed: the builds write the same bytes and read each other's caches exactly"
