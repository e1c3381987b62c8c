#!/usr/bin/env bash
# The real program under Xvfb against the lab PBX and the loopback MariaDB:
# with an opt-out file in force, a number in the Do-Not-Call table is refused
# with the found text, and an allowed number reaches the lab PBX with the
# dial prefix in front. Leaves its screenshots in the work folder.
#
#   tests/e2e/dial_screening.sh [build folder]     (default: build)
#
# Needs the servers of scripts/test-services.sh (build-services.env or the
# QUENDRA_TEST_MYSQL_* variables), Xvfb, xdotool, xwd, ImageMagick and the
# mariadb client; the targets quendra, labpbx and labpbx-ctl must be built.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
if [ -z "${QUENDRA_TEST_MYSQL_PORT:-}" ] && [ -f "$root/build-services.env" ]; then
  # shellcheck disable=SC1091
  . "$root/build-services.env"
fi
: "${QUENDRA_TEST_MYSQL_PORT:?start the test servers: scripts/test-services.sh start}"

work=$(mktemp -d /tmp/quendra-e2e-dial.XXXXXX)
echo "work folder: $work"
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[$i]}" 2>/dev/null || true
    wait "${pids[$i]}" 2>/dev/null || true
  done
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
free_udp_port() { python3 -c 'import socket; s=socket.socket(socket.AF_INET,socket.SOCK_DGRAM); s.bind(("",0)); print(s.getsockname()[1])'; }

sql() {
  mariadb -h "$QUENDRA_TEST_MYSQL_HOST" -P "$QUENDRA_TEST_MYSQL_PORT" -u "$QUENDRA_TEST_MYSQL_USER" \
    "-p$QUENDRA_TEST_MYSQL_PASSWORD" "$QUENDRA_TEST_MYSQL_DATABASE" -N -e "$1"
}
table="dnc_e2e_$$"
sql "DROP TABLE IF EXISTS $table; CREATE TABLE $table (dnc_phone VARCHAR(32) NOT NULL, INDEX (dnc_phone));
     INSERT INTO $table VALUES ('5550100');"
drop_table() { sql "DROP TABLE IF EXISTS $table" || true; cleanup; }
trap drop_table EXIT

# The lab PBX on a loopback address of this run's own, so that another lab
# PBX on 127.0.0.1:4569 is not disturbed.
pbx_addr="127.79.$(( ($$ / 250) % 250 + 1 )).$(( $$ % 250 + 1 ))"
manager_port=$(free_port)
control_port=$(free_port)
cat > "$work/lab.conf" <<CONF
[general]
bindaddr = $pbx_addr
iaxport = 4569
managerport = $manager_port
controlport = $control_port
externalcalls = ring
ringtimeout = 60
[extensions]
2001 = lab2001 callerid="Agent 2001" <2001>
[managers]
quendra = labsecret
[agents]
2001 = Agent 2001
CONF
"$build/labpbx/pbx/labpbx" -c "$work/lab.conf" > "$work/labpbx.log" 2>&1 &
pids+=($!)
ctl() { "$build/labpbx/pbx/labpbx-ctl" -a "$pbx_addr" -p "$control_port" "$@"; }
for _ in $(seq 50); do ctl stats > /dev/null 2>&1 && break; sleep 0.1; done
ctl stats > /dev/null || { cat "$work/labpbx.log"; fail "lab PBX did not start"; }

cat > "$work/quendra.ini" <<INI
host=$pbx_addr;
user=2001;
pass=lab2001;
iax2UDPPort=$(free_udp_port);
acmPort=$manager_port;
acmUser=quendra;
acmPass=labsecret;
loggedInToDial=0;
debugLogDir=$work/;
INI
cat > "$work/dnc.cfg" <<CFG
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

display=":$(( 90 + $$ % 400 ))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo > /dev/null 2>&1 && break; sleep 0.1; done

export QUENDRA_AUDIO_SILENT=1
(cd "$work" && exec "$build/app/quendra" "-init$work/quendra.ini" "-opto$work/dnc.cfg" -debug) \
  > "$work/quendra.out" 2>&1 &
pids+=($!)

window=""
for _ in $(seq 100); do
  window=$(xdotool search --name "IAX2 Soft Phone" 2>/dev/null | head -1) && [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || { cat "$work/quendra.out"; fail "no window"; }
title=$(xdotool getwindowname "$window")
echo "title: $title"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$title" = "IAX2 Soft Phone v$version ($work/dnc.cfg)" ] || fail "title without the opt-out file"

shot() { import -window root "$work/$1.png"; echo "screenshot: $work/$1.png"; }
# Clicks a control at its centre, given in the layout's dialog units.
click_du() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove --window "$window" $(( $1 * WIDTH / 294 )) $(( $2 * HEIGHT / 266 )) click 1
}
log_file() { ls "$work"/Quendra2001-*.log 2>/dev/null | head -1; }
log_has() { grep -qF -- "$1" "$(log_file)"; }
wait_for() { for _ in $(seq 100); do eval "$1" && return 0; sleep 0.1; done; return 1; }

click_du 263 126                       # Start
wait_for 'ctl registrations 2>/dev/null | grep -q 2001' || { ctl registrations || true; fail "no registration"; }
sleep 0.5

# Blocked: the found box, nothing reaches the PBX.
click_du 224 17                        # the number field
xdotool type --delay 20 5550100
xdotool key alt+d
# The box is modal; its text reaches the log when it is closed.
wait_for 'log_has "optout statement"' || fail "no lookup"
sleep 2
shot blocked
xdotool key Return
wait_for 'log_has "[5550100] is found in Opt-out / Do-Not-Call table; operation aborted"' \
  || fail "the blocked number was not refused"
if ctl calls | grep -q "dialled=[0-9]*5550100 "; then fail "the blocked number reached the PBX"; fi

# Allowed: the PBX sees the dial prefix before the typed number.
click_du 224 17
xdotool key ctrl+a BackSpace
xdotool type --delay 20 5550199
xdotool key alt+d
wait_for 'ctl calls | grep -q "dialled=85550199 "' || { ctl calls || true; fail "the allowed number did not reach the PBX"; }
sleep 0.5
shot allowed
echo "lab PBX calls:"
ctl calls
log_has "**DEB** [Dial]->Outgoing number with dncDialprefix[8]=[85550199]" || fail "no dial prefix line"
echo "PASS"
