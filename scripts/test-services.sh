#!/usr/bin/env bash
# Starts or stops the servers the tests use, each on loopback with
# throw-away state under .test-services/, and writes their addresses to
# build-services.env for the tests to read.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
state="$root/.test-services"
env_file="$root/build-services.env"

start() {
  mkdir -p "$state"
  : > "$env_file"
  for hook in "$root"/scripts/services.d/*.sh; do
    [ -e "$hook" ] || continue
    bash "$hook" start "$state" "$env_file"
  done
}

stop() {
  for hook in "$root"/scripts/services.d/*.sh; do
    [ -e "$hook" ] || continue
    bash "$hook" stop "$state" "$env_file" || true
  done
}

case "${1:-}" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop" >&2; exit 2 ;;
esac
