#!/usr/bin/env bash
# The real program under Xvfb against the lab PBX and the loopback MariaDB:
# with an opt-out file in force, a number in the Do-Not-Call table is refused
# with the found text, and an allowed number reaches the lab PBX with the
# dial prefix in front. Leaves its screenshots, the programs' output and the
# phone's log in <build>/e2e-dial-screening.
#
#   tests/optout/e2e_dial_screening.sh [build folder]     (default: build)
#
# Needs the servers of scripts/test-services.sh (build-services.env or the
# QUENDRA_TEST_MYSQL_* variables, which the test command exports), Xvfb,
# xdotool, ImageMagick and the mariadb client (skipped, status 77, without
# them); the targets quendra, labpbx and labpbx-ctl must be built. Run by the
# test command as the CTest test optout.e2e_dial_screening.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=SCRIPTDIR/../support/harness.sh
source "$root/tests/support/harness.sh"
use_build "${1:-$root/build}" quendra labpbx labpbx-ctl
harness_begin e2e-dial-screening "$build/e2e-dial-screening"
require_tools Xvfb xdotool import mariadb
if [ -z "${QUENDRA_TEST_MYSQL_PORT:-}" ] && [ -f "$root/build-services.env" ]; then
  # shellcheck disable=SC1091
  . "$root/build-services.env"
fi
if [ -z "${QUENDRA_TEST_MYSQL_PORT:-}" ]; then
  echo "$harness_name: skipped: no test database; start it with scripts/test-services.sh start"
  exit 77
fi

sql() {
  mariadb -h "$QUENDRA_TEST_MYSQL_HOST" -P "$QUENDRA_TEST_MYSQL_PORT" -u "$QUENDRA_TEST_MYSQL_USER" \
    "-p$QUENDRA_TEST_MYSQL_PASSWORD" "$QUENDRA_TEST_MYSQL_DATABASE" -N -e "$1"
}
table="dnc_e2e_$$"
sql "DROP TABLE IF EXISTS $table; CREATE TABLE $table (dnc_phone VARCHAR(32) NOT NULL, INDEX (dnc_phone));
     INSERT INTO $table VALUES ('5550100');"
at_exit sql "DROP TABLE IF EXISTS $table"

start_labpbx <<CONF
[general]
iaxport = 4569
externalcalls = ring
ringtimeout = 60
[extensions]
2001 = lab2001 callerid="Agent 2001" <2001>
[managers]
quendra = labsecret
[agents]
2001 = Agent 2001
CONF

cat > "$out/quendra.ini" <<INI
host=$labpbx_address;
user=2001;
pass=lab2001;
iax2UDPPort=$(free_udp_port);
acmPort=$labpbx_manager_port;
acmUser=quendra;
acmPass=labsecret;
loggedInToDial=0;
debugLogDir=$out/;
INI
cat > "$out/dnc.cfg" <<CFG
dbtype=mysql3.51
dbhost=$QUENDRA_TEST_MYSQL_HOST
dbmysqlPort=$QUENDRA_TEST_MYSQL_PORT
dbserver=$QUENDRA_TEST_MYSQL_DATABASE
dbdnctable=$table
dbusername=$QUENDRA_TEST_MYSQL_USER
dbpassword=$QUENDRA_TEST_MYSQL_PASSWORD
dialprefix=8
dncdebug=1
CFG

start_xvfb
start_phone "$out" "-init$out/quendra.ini" "-opto$out/dnc.cfg"

window=$(wait_for_window "IAX2 Soft Phone") || fail "no window"
title=$(xdotool getwindowname "$window")
echo "title: $title"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$title" = "IAX2 Soft Phone v$version ($out/dnc.cfg)" ] || fail "title without the opt-out file"

log="$out/Quendra2001-*.log"
shot() { screenshot root "$1"; echo "screenshot: $out/$1.png"; }

click_dialog_units "$window" 263 126   # Start
wait_for 100 labpbx_shows 2001 registrations || { labpbx_ctl registrations || true; fail "no registration"; }
sleep 0.5

# Blocked: the found box, nothing reaches the PBX.
click_dialog_units "$window" 224 17    # the number field
type_text 5550100
xdotool key alt+d
# The box is modal; its text reaches the log when it is closed.
wait_for_log 100 "$log" "optout statement" || fail "no lookup"
sleep 2
shot blocked
xdotool key Return
wait_for_log 100 "$log" "[5550100] is found in Opt-out / Do-Not-Call table; operation aborted" \
  || fail "the blocked number was not refused"
if labpbx_shows "dialled=[0-9]*5550100 " calls; then fail "the blocked number reached the PBX"; fi

# Allowed: the PBX sees the dial prefix before the typed number.
click_dialog_units "$window" 224 17
xdotool key ctrl+a BackSpace
type_text 5550199
xdotool key alt+d
wait_for 100 labpbx_shows "dialled=85550199 " calls || { labpbx_ctl calls || true; fail "the allowed number did not reach the PBX"; }
sleep 0.5
shot allowed
echo "lab PBX calls:"
labpbx_ctl calls
log_has "$log" "**DEB** [Dial]->Outgoing number with dncDialprefix[8]=[85550199]" || fail "no dial prefix line"
echo "PASS"
