#!/usr/bin/env bash
# Installs what is needed, checks the folder layering and the formatting,
# builds Quendra four ways and runs every test. Each build is a preset of
# CMakePresets.json (configure, build and, but for fuzz, test):
#   normal  build/       all tests
#   asan    build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer, all tests
#   tsan    build-tsan/  ThreadSanitizer, the voice engine and lab PBX tests
#   fuzz    build-fuzz/  the fuzz targets (clang), each run for a short time
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

# Quick checks before building: the folder layering, then the formatting.
echo "== folder layering =="
scripts/check-deps.py
echo "== formatting =="
scripts/format.sh --check

jobs=$(nproc)
# Most tests wait on timers and sockets rather than compute, so twice as
# many run side by side as there are cores.
test_jobs=$((jobs * 2))
services_started=0
cleanup() { [ "$services_started" = 1 ] && scripts/test-services.sh stop || true; }
trap cleanup EXIT
scripts/test-services.sh start
services_started=1
# shellcheck disable=SC1091
source build-services.env

# The folder a preset builds in, from CMakePresets.json.
binary_dir() {
  python3 -c 'import json, sys
presets = json.load(open("CMakePresets.json"))["configurePresets"]
print(next(p["binaryDir"] for p in presets if p["name"] == sys.argv[1]).replace("${sourceDir}/", ""))' "$1"
}

# Configures (log in <build folder>.configure.log, shown on failure) and builds.
configure_and_build() {
  local preset=$1 dir
  dir=$(binary_dir "$preset")
  cmake --preset "$preset" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  cmake --build --preset "$preset" -j "$jobs"
}

# Each test runs once: a test that fails has failed. The real-time tests
# check what happened and in what order, not how fast (bench/ measures).
configure_and_test() {
  local preset=$1 label=$2
  echo "== $label =="
  configure_and_build "$preset"
  ctest --preset "$preset" --parallel "$test_jobs"
}

configure_and_test normal "normal build"
configure_and_test asan "address and undefined-behaviour sanitizers"
configure_and_test tsan "thread sanitizer (voice engine, lab PBX)"

echo "== fuzz targets (short runs) =="
configure_and_build fuzz
scripts/run-fuzzers.sh "$(binary_dir fuzz)" 10

echo "all test stages passed"
