#!/usr/bin/env bash
# Runs the interop suite against the Asterisk installation named by
# QUENDRA_ASTERISK: writes its configuration, (re)starts it, runs the
# scenarios and stops it again, also when they fail. Without
# QUENDRA_ASTERISK it says so in one line and passes.
#   run_interop.sh <source folder> <interop_tests binary> [gtest options]
set -uo pipefail
if [ -z "${QUENDRA_ASTERISK:-}" ]; then
  echo "skipped: no Asterisk"
  exit 0
fi
root=$1 tests=$2
shift 2
scripts=$root/scripts/interop
install=$QUENDRA_ASTERISK
if [ ! -x "$install/sbin/asterisk" ]; then
  echo "interop: QUENDRA_ASTERISK=$install holds no sbin/asterisk" >&2
  exit 1
fi

"$scripts/asterisk-config.sh" "$install" || exit 1
# A running instance keeps its old configuration, and may be someone
# else's: the suite starts its own or none.
if "$scripts/asterisk.sh" status "$install" > /dev/null 2>&1; then
  echo "interop: an Asterisk of $install is already running; stop it first:" >&2
  echo "  $scripts/asterisk.sh stop $install" >&2
  exit 1
fi
trap '"$scripts/asterisk.sh" stop "$install" > /dev/null' EXIT
"$scripts/asterisk.sh" start "$install" || exit 1
"$tests" "$@"
