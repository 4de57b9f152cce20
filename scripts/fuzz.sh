#!/usr/bin/env bash
# Runs every libFuzzer program of a fuzz build for a bounded time each, from
# its seed corpus and its fixtures; the inputs it finds grow a corpus of its
# own in the build folder. Stops at the first program that finds a fault and
# says where the input that found it is.
#
# Usage: scripts/fuzz.sh BUILD_DIR [SECONDS]   (default 60 seconds per program)
#   BUILD_DIR  a build of the fuzz preset, built and its ctest run (which
#              writes the seed corpora), e.g. build/fuzz
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 BUILD_DIR [SECONDS]" >&2
  exit 2
fi
build=$1
seconds=${2:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz: SECONDS must be a whole number above 0, not \"$seconds\"" >&2
  exit 2
fi
manifests=("$build"/fuzz-targets/*.txt)
if [ ! -e "${manifests[0]}" ]; then
  echo "fuzz: no fuzz programs listed in $build/fuzz-targets; configure and build the fuzz preset first" >&2
  exit 2
fi

for manifest in "${manifests[@]}"; do
  name="" program="" corpus="" artifacts="" fixtures=""
  seeds=()
  while IFS='=' read -r key value; do
    case "$key" in
      name) name=$value ;;
      program) program=$value ;;
      corpus) corpus=$value ;;
      artifacts) artifacts=$value ;;
      seeds) seeds+=("$value") ;;
      fixtures) fixtures=$value ;;
    esac
  done <"$manifest"
  if [ ! -x "$program" ]; then
    echo "fuzz: $manifest: $program is not built" >&2
    exit 2
  fi
  inputs=()
  for folder in "${seeds[@]}" "$fixtures"; do
    if [ -d "$folder" ]; then
      inputs+=("$folder")
    fi
  done
  if [ ${#inputs[@]} -eq 0 ]; then
    echo "fuzz: $name has no seed folder yet; run its ctest first (ctest --preset fuzz)" >&2
    exit 2
  fi
  mkdir -p "$corpus" "$artifacts"
  echo "== $name: ${seconds}s from ${inputs[*]}"
  # Any single allocation above 256 MB from inputs of a few kilobytes is a
  # fault of its own: a count taken from the input before it was checked.
  if ! "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -malloc_limit_mb=256 -print_final_stats=1 -artifact_prefix="$artifacts/" \
      "$corpus" "${inputs[@]}"; then
    echo "fuzz: $name found a fault; the input is in $artifacts/" >&2
    echo "fuzz: once fixed, keep it as fuzz/fixtures/$name/<what-it-found>" >&2
    exit 1
  fi
done
