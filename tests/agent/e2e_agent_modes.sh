#!/usr/bin/env bash
# End-to-end run of the agent modes: the real phone in an X server of its own
# (Xvfb) against the lab PBX on loopback. The phone starts and registers, the
# agent logs in, an inbound call rings and is answered (Not Ready "Inbound
# NR"), the caller hangs up (timed after-call work, then Ready when its
# seconds are over) and the agent logs out. The lab PBX's pause history must
# then read aux5, acwib, false.
#
#   tests/agent/e2e_agent_modes.sh [build folder]   (default: build)
#
# Needs the targets quendra, labpbx and labpbx-ctl built, Xvfb, xdotool and
# unshare: the run takes a network namespace of its own, so the lab PBX has
# its standard ports whatever else runs on the machine.
set -euo pipefail
if [ -z "${QUENDRA_E2E_NETNS:-}" ]; then
  export QUENDRA_E2E_NETNS=1
  if [ "$(id -u)" = 0 ]; then exec unshare --net -- bash "$0" "$@"; fi
  exec unshare --net --map-root-user -- bash "$0" "$@"
fi
ip link set lo up
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
quendra=$build/app/quendra
labpbx=$build/labpbx/pbx/labpbx
ctl_bin=$build/labpbx/pbx/labpbx-ctl
timed_acw_seconds=3

for tool in "$quendra" "$labpbx" "$ctl_bin"; do
  [ -x "$tool" ] || { echo "missing $tool: build quendra, labpbx and labpbx-ctl first" >&2; exit 2; }
done
command -v Xvfb > /dev/null && command -v xdotool > /dev/null \
  || { echo "Xvfb and xdotool are needed" >&2; exit 2; }

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  if [ "${keep_work:-0}" = 1 ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() {
  echo "FAILED: $*" >&2
  echo "--- lab PBX" >&2; cat "$work/labpbx.log" >&2 || true
  echo "--- phone log" >&2; cat "$work"/Quendra2001-*.log >&2 2> /dev/null || true
  exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
  local tenths=$1; shift
  for _ in $(seq "$tenths"); do
    "$@" > /dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# The lab PBX as shipped (IAX2 4569, manager 5038, control 5039).
"$labpbx" -c "$root/labpbx/lab.conf" > "$work/labpbx.log" 2>&1 &
pids+=($!)
control_port=5039
ctl() { "$ctl_bin" -p "$control_port" "$@"; }
wait_for 50 ctl stats || fail "the lab PBX did not start"

# An X server of our own.
display=""
for n in $(seq 90 120); do
  if [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; then continue; fi
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
  pids+=($!)
  if wait_for 50 env DISPLAY=":$n" xdotool getmouselocation; then display=":$n"; break; fi
done
[ -n "$display" ] || fail "no X server"
export DISPLAY=$display

# The phone: extension 2001 at the lab PBX, agent 2001, no mode at login,
# Not Ready on answering, timed after-call work when an inbound call ends.
cat > "$work/quendra.ini" << EOF
host=127.0.0.1;
user=2001;
pass=lab2001;
agid=2001;
iax2UDPPort=4570;
acmPort=5038;
acmUser=quendra;
acmPass=labsecret;
verExtState=0;
loginAction=2;
inboundAnswerNotReady=1;
inboundReleaseAction=4;
inboundTimedACW=$timed_acw_seconds;
debugLogDir=$work/;
EOF
(cd "$work" && exec "$quendra" "-init$work/quendra.ini" -debug > "$work/quendra.out" 2>&1) &
pids+=($!)

window=$(xdotool search --sync --limit 1 --name "IAX2 Soft Phone" 2> /dev/null | head -1)
[ -n "$window" ] || fail "the phone's window did not open"
eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y, WIDTH, HEIGHT

# Clicks the middle of a control given in dialog units (x, y, width, height):
# the client area is 294 by 266 dialog units.
click() {
  local x=$(( X + ($1 + $3 / 2) * WIDTH / 294 ))
  local y=$(( Y + ($2 + $4 / 2) * HEIGHT / 266 ))
  xdotool mousemove --sync "$x" "$y" click 1
}
pauses() { ctl pauses 2001 | sed -n 's/^pause //p' | tr '\n' ' ' | sed 's/ $//'; }

click 241 117 45 18                                   # Start
wait_for 100 bash -c "'$ctl_bin' -p $control_port registrations | grep -q 2001" \
  || fail "the phone did not register"
sleep 0.5
click 163 117 45 18                                   # Login
wait_for 100 bash -c "'$ctl_bin' -p $control_port manager actions | grep -q AgentCallBackLogin" \
  || fail "no agent login reached the manager"
sleep 0.5

call=$(ctl call 2001 5550100 Test Caller | sed -n 's/^OK \([0-9]*\).*/\1/p')
[ -n "$call" ] || fail "the lab PBX placed no call"
wait_for 100 bash -c "'$ctl_bin' -p $control_port calls | grep -q 'state=ringing'" \
  || fail "the call did not ring"
click 8 6 45 19                                       # Answer
wait_for 100 bash -c "'$ctl_bin' -p $control_port pauses 2001 | grep -q aux5" \
  || fail "no Not Ready on answering (pauses: $(pauses))"
sleep 0.5
ctl hangup "$call" > /dev/null || fail "hang-up refused"
wait_for 50 bash -c "'$ctl_bin' -p $control_port pauses 2001 | grep -q acwib" \
  || fail "no after-call work after the call (pauses: $(pauses))"
# Ready comes when the timed after-call work is over.
wait_for $(( (timed_acw_seconds + 3) * 10 )) \
  bash -c "'$ctl_bin' -p $control_port pauses 2001 | grep -q false" \
  || fail "no Ready after the timed after-call work (pauses: $(pauses))"
click 85 117 45 18                                    # Logout
wait_for 100 bash -c "'$ctl_bin' -p $control_port manager actions | grep -q AgentLogoff" \
  || fail "no agent log-off reached the manager"

history=$(pauses)
[ "$history" = "aux5 acwib false" ] || fail "pause history is [$history], expected [aux5 acwib false]"
grep -q 'OnTimer()->Inbound timed ACW->call OnBnClickedButReady()' "$work"/Quendra2001-*.log \
  || fail "the timed ACW expiry is not in the phone's log"
echo "end-to-end agent modes: pause history [$history]"
echo "1 passed, 0 failed"
