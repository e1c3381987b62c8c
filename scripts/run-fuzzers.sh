#!/usr/bin/env bash
# Runs every fuzz target built in the given folder for a few seconds each,
# starting from its seed corpus. Any crash or sanitizer report fails.
set -euo pipefail
build=${1:?build folder}
seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
found=0
for target in "$build"/fuzz/*/fuzz_*; do
  [ -x "$target" ] || continue
  found=1
  name=$(basename "$target")
  corpus=$(mktemp -d)
  seeds="$root/fuzz/corpus/$name"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  echo "-- $name (${seconds}s)"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 "$corpus" 2>&1 | tail -3
  rm -rf "$corpus"
done
[ "$found" = 1 ] || echo "no fuzz targets built"
