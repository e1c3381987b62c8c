#!/usr/bin/env bash
# Starts, stops and queries an installed Asterisk configured by
# asterisk-config.sh.  INSTALL defaults to $QUENDRA_ASTERISK.
#
#   scripts/interop/asterisk.sh start|stop|status [INSTALL]
#   scripts/interop/asterisk.sh cli "<command>" [INSTALL]
set -euo pipefail

usage() {
  echo "usage: $0 start|stop|status [INSTALL] | cli \"<command>\" [INSTALL]" >&2
  exit 2
}

action=${1:-}
command=
if [ "$action" = cli ]; then
  command=${2:-}
  [ -n "$command" ] || usage
  shift
fi
install=${2:-${QUENDRA_ASTERISK:-}}
if [ -z "$install" ] || [ ! -x "$install/sbin/asterisk" ]; then usage; fi
install=$(cd "$install" && pwd -P)
conf="$install/etc/asterisk/asterisk.conf"
rundir="$install/var/run/asterisk"
pidfile="$rundir/asterisk.pid"
console="$install/var/log/asterisk/console.out"

cli() {
  timeout 20 "$install/sbin/asterisk" -C "$conf" -rx "$1"
}

# True when PID is alive and is this installation's asterisk binary, so a
# stale pid file never leads to signalling an unrelated process.
ours() {
  [ -n "$1" ] && [ "$(readlink "/proc/$1/exe" 2> /dev/null)" = "$install/sbin/asterisk" ]
}

running() {
  cli "core show uptime" > /dev/null 2>&1
}

start() {
  if running; then
    echo "already running"
    return 0
  fi
  mkdir -p "$rundir" "$(dirname "$console")"
  # -f keeps it in the foreground of its own background job, so the pid is
  # ours and early start-up errors land in the console file.
  nohup "$install/sbin/asterisk" -C "$conf" -f -n > "$console" 2>&1 < /dev/null &
  local pid=$!
  echo "$pid" > "$pidfile"
  for _ in $(seq 60); do
    if ! kill -0 "$pid" 2> /dev/null; then
      echo "asterisk exited during start-up; see $console" >&2
      return 1
    fi
    if cli "core waitfullybooted" > /dev/null 2>&1; then
      echo "started (pid $pid)"
      return 0
    fi
    sleep 0.5
  done
  echo "asterisk did not boot within 30 s; see $console" >&2
  return 1
}

stop() {
  local pid=
  [ -f "$pidfile" ] && pid=$(cat "$pidfile")
  cli "core stop now" > /dev/null 2>&1 || true
  for _ in $(seq 40); do
    ours "$pid" || break
    sleep 0.25
  done
  if ours "$pid"; then
    kill "$pid"
  fi
  rm -f "$pidfile"
  echo "stopped"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  status) if running; then cli "core show uptime"; else echo "not running"; exit 1; fi ;;
  cli) cli "$command" ;;
  *) usage ;;
esac
