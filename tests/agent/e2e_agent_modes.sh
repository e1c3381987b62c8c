#!/usr/bin/env bash
# End-to-end run of the agent modes: the real phone in an X server of its own
# (Xvfb) against the lab PBX on loopback, with the shipped lab.conf. The phone
# starts and registers, the agent logs in, an inbound call rings and is
# answered (Not Ready "Inbound NR"), the caller hangs up (timed after-call
# work, then Ready when its seconds are over) and the agent logs out. The lab
# PBX's pause history must then read aux5, acwib, false.
#
#   tests/agent/e2e_agent_modes.sh [build folder]   (default: build)
#
# Needs the targets quendra, labpbx and labpbx-ctl built, Xvfb and xdotool
# (skipped, status 77, without them). Leaves the programs' output and the
# phone's log in <build>/e2e-agent-modes. Run by the test command as the
# CTest test agent.e2e_agent_modes.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=SCRIPTDIR/../support/harness.sh
source "$root/tests/support/harness.sh"
use_build "${1:-$root/build}" quendra labpbx labpbx-ctl
harness_begin e2e-agent-modes "$build/e2e-agent-modes"
require_tools Xvfb xdotool
timed_acw_seconds=3

# The lab PBX as shipped (IAX2 4569; manager and control on free ports).
start_labpbx < "$root/labpbx/lab.conf"
start_xvfb

# The phone: extension 2001 at the lab PBX, agent 2001, no mode at login,
# Not Ready on answering, timed after-call work when an inbound call ends.
cat > "$out/quendra.ini" << EOF
host=$labpbx_address;
user=2001;
pass=lab2001;
agid=2001;
iax2UDPPort=$(free_udp_port);
acmPort=$labpbx_manager_port;
acmUser=quendra;
acmPass=labsecret;
verExtState=0;
loginAction=2;
inboundAnswerNotReady=1;
inboundReleaseAction=4;
inboundTimedACW=$timed_acw_seconds;
debugLogDir=$out/;
EOF
start_phone "$out" "-init$out/quendra.ini"

window=$(wait_for_window "IAX2 Soft Phone") || fail "the phone's window did not open"
pauses() { labpbx_ctl pauses 2001 | sed -n 's/^pause //p' | tr '\n' ' ' | sed 's/ $//'; }

# The buttons' centres in dialog units.
click_dialog_units "$window" 263 126                 # Start
wait_for 100 labpbx_shows 2001 registrations || fail "the phone did not register"
sleep 0.5
click_dialog_units "$window" 185 126                 # Login
wait_for 100 labpbx_shows AgentCallBackLogin manager actions || fail "no agent login reached the manager"
sleep 0.5

call=$(labpbx_ctl call 2001 5550100 Test Caller | sed -n 's/^OK \([0-9]*\).*/\1/p')
[ -n "$call" ] || fail "the lab PBX placed no call"
wait_for 100 labpbx_shows 'state=ringing' calls || fail "the call did not ring"
click_dialog_units "$window" 30 15                   # Answer
wait_for 100 labpbx_shows aux5 pauses 2001 || fail "no Not Ready on answering (pauses: $(pauses))"
sleep 0.5
labpbx_ctl hangup "$call" > /dev/null || fail "hang-up refused"
wait_for 50 labpbx_shows acwib pauses 2001 || fail "no after-call work after the call (pauses: $(pauses))"
# Ready comes when the timed after-call work is over.
wait_for $(((timed_acw_seconds + 3) * 10)) labpbx_shows false pauses 2001 \
  || fail "no Ready after the timed after-call work (pauses: $(pauses))"
click_dialog_units "$window" 107 126                 # Logout
wait_for 100 labpbx_shows AgentLogoff manager actions || fail "no agent log-off reached the manager"

history=$(pauses)
[ "$history" = "aux5 acwib false" ] || fail "pause history is [$history], expected [aux5 acwib false]"
log_has "$out/Quendra2001-*.log" 'OnTimer()->Inbound timed ACW->call OnBnClickedButReady()' \
  || fail "the timed ACW expiry is not in the phone's log"
echo "end-to-end agent modes: pause history [$history]"
echo "1 passed, 0 failed"
