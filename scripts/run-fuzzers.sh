#!/usr/bin/env bash
# Runs every fuzz target built in the given folder for a few seconds each,
# starting from its seed corpus, as many at once as there are cores. Any
# crash or sanitizer report fails.
set -euo pipefail
build=${1:?build folder}
seconds=${2:-20}
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run_one() {
  local target=$1 name corpus seeds
  name=$(basename "$target")
  corpus="$work/$name.corpus"
  seeds="$root/fuzz/corpus/$name"
  mkdir -p "$corpus"
  [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 "$corpus" \
    > "$work/$name.log" 2>&1
}

# Every built target, at any depth below fuzz/ (fuzz/voice/media/... too).
mapfile -t targets < <(find "$build/fuzz" -path '*/CMakeFiles' -prune -o -type f -name 'fuzz_*' -perm -u+x -print \
                       2>/dev/null | sort)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets built in $build/fuzz" >&2
  exit 1
fi
echo "fuzz targets: ${#targets[@]}"

slots=$(nproc)
declare -A running=()
failed=0
# Waits for one running target and reports it.
reap() {
  local pid name
  wait -n -p pid || true
  name=${running[$pid]}
  unset "running[$pid]"
  echo "-- $name (${seconds}s)"
  tail -3 "$work/$name.log"
  if [ -e "$work/$name.failed" ]; then failed=1; echo "-- $name FAILED"; fi
}
for target in "${targets[@]}"; do
  while [ ${#running[@]} -ge "$slots" ]; do reap; done
  name=$(basename "$target")
  ( run_one "$target" || touch "$work/$name.failed" ) &
  running[$!]=$name
done
while [ ${#running[@]} -gt 0 ]; do reap; done
exit "$failed"
