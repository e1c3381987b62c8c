#!/usr/bin/env bash
# End-to-end run of the real program under Xvfb against the lab PBX:
# Start (with the extension check), registration, an inbound call answered
# with the Answer key, Release, Exit. Screenshots of the ringing and the
# connected window, the debug log and the programs' output are left in the
# output folder (default: <build>/e2e-call).
#   scripts/e2e-call.sh [build folder]
# Needs the targets quendra, labpbx and labpbx-ctl built in that folder, and
# Xvfb, xdotool and ImageMagick (skipped, status 77, without them). The test
# command runs it as the CTest test call.e2e_call.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=SCRIPTDIR/../tests/support/harness.sh
source "$root/tests/support/harness.sh"
use_build "${1:-$root/build}" quendra labpbx labpbx-ctl
harness_begin e2e-call "${E2E_OUT:-$build/e2e-call}"
require_tools Xvfb xdotool import

start_xvfb 640x480x24

start_labpbx <<EOF
[general]
iaxport = 4569
minregexpire = 60
maxregexpire = 3600
ringtimeout = 60
[extensions]
7001 = secret7001 callerid="Agent 7001" <7001>
[managers]
queueopr = bramwick
[agents]
7001 = Agent 7001
[services]
600 = echo
EOF

cat > "$out/Quendra.ini" <<EOF
host=$labpbx_address
user=7001
pass=secret7001
iax2UDPPort=$(free_udp_port)
acmPort=$labpbx_manager_port
acmUser=queueopr
acmPass=bramwick
verExtState=1
debugLogDir=$out/
EOF
# The options file is the working folder's Quendra.ini, as from a terminal.
start_phone "$out"

window=$(wait_for_window "IAX2 Soft Phone") || fail "the main window did not appear"

press_keys "$window" Return  # Enter runs Start
wait_for 50 labpbx_shows '^reg 7001 ' registrations || fail "the phone did not register"

reply=$(labpbx_ctl call 7001 5551234 Ada Lovelace) || fail "the lab PBX placed no call: $reply"
call_id=${reply#OK }
wait_for 50 labpbx_shows 'state=ringing' calls || fail "the call does not ring"
sleep 1.3  # the face has flashed a few times
screenshot "$window" ringing

press_keys "$window" alt+a  # the Answer key
wait_for 50 labpbx_shows 'state=up' calls || fail "the call was not answered"
sleep 0.5
screenshot "$window" connected

press_keys "$window" alt+l  # Release
wait_for 50 labpbx_lacks '^call ' calls || fail "the call was not released (call $call_id)"

exit_through_window "$window" "$phone_pid"  # Exit asks first
wait_for 30 labpbx_shows 7001 regrels || fail "no registration release seen"

# --- the debug log --------------------------------------------------------
log=$(ls "$out"/Quendra7001-*.log 2>/dev/null | head -1)
[ -n "$log" ] || fail "no debug log"
expected=(
  "**DEB** [Start]-> verifying extensin state"
  "**ERR** [Start]->init_iaxAgiSocket() verified ExtDN[7001] is unused"
  "**DEB** [Start]->before calling iaxc_initialize()..."
  "IAXC_EVENT_REGISTRATION: (id,reply,msgcount)=(1,Accepted[12],"
  "**DEB** IAXC_EVENT_STATE: (callNo,State,format,Rnum,Rname,Lnum,LCont)=(0,ActiveRinging[A],GSM[2],5551234,Ada Lovelace,"
  "**DEB** before play_ringingTone()"
  "**DEB** After play_ringingTone()"
  "**DEB** [Answer] button was clicked to pick incoming call"
  "Complete"
  "**DEB** [Release] request on ext(7001)"
  "(0,Free[0],"
  "**DEB** [Exit]->iaxc_unregister(1) done"
)
for line in "${expected[@]}"; do
  grep -qF -- "$line" "$log" || fail "the debug log lacks: $line"
done
# Ringing, connected and ended appear in that order.
order=$(grep -nF -e "ActiveRinging[A]" -e "[Answer] button" -e "[Release] request" -e "[Exit]->iaxc_unregister" "$log" \
  | cut -d: -f1 | tr '\n' ' ')
sorted=$(echo "$order" | tr ' ' '\n' | grep . | sort -n | tr '\n' ' ')
[ "$order" = "$sorted" ] || fail "the debug log's lines are out of order"

echo "e2e-call: passed; screenshots and log in $out"
