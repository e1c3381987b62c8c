#!/usr/bin/env bash
# Installs what is needed, builds Quendra three ways and runs every test:
#   build/       normal build, all tests, short fuzz runs (clang build)
#   build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer, all tests
#   build-tsan/  ThreadSanitizer, the voice engine and lab PBX tests
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/setup.sh

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

configure_and_test() {
  local dir=$1 label=$2 regex=$3; shift 3
  echo "== $label =="
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" > "$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
  # Each test runs once: a test that fails has failed. The real-time tests
  # check what happened and in what order, not how fast (bench/ measures).
  local args=(--test-dir "$dir" --output-on-failure --timeout 600 --parallel "$test_jobs")
  [ -n "$regex" ] && args+=(-R "$regex")
  ctest "${args[@]}"
}

configure_and_test build "normal build" ""
configure_and_test build-asan "address and undefined-behaviour sanitizers" "" -DQUENDRA_SANITIZE=address
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  configure_and_test build-tsan "thread sanitizer (voice engine, lab PBX)" "^(voice|labpbx)\\." \
  -DQUENDRA_SANITIZE=thread -DQUENDRA_WITH_QT=OFF

echo "== fuzz targets (short runs) =="
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUENDRA_FUZZ=ON -DQUENDRA_WITH_QT=OFF > build-fuzz.configure.log 2>&1 \
  || { cat build-fuzz.configure.log; exit 1; }
cmake --build build-fuzz -j "$jobs" --target fuzz_all
scripts/run-fuzzers.sh build-fuzz 10

echo "all test stages passed"
