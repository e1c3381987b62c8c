#!/usr/bin/env bash
# Installs what is needed, builds Quendra and runs the phone. Any arguments
# are passed to the phone (for example -debug).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > build.configure.log 2>&1 \
  || { cat build.configure.log; exit 1; }
cmake --build build -j "$(nproc)" --target quendra
exec build/app/quendra "$@"
