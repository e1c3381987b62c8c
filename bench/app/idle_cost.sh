#!/usr/bin/env bash
# Idle cost of the phone: registered to the lab PBX, no call, no sound, for
# IDLE_SECONDS (default 60), first offscreen, then in a real window under
# Xvfb. Reports the processor time the phone used, the wake-ups per second
# of each of its threads (voluntary and involuntary context switches from
# /proc/<pid>/task/*/status), and its resident and proportional set size.
#   bench/app/idle_cost.sh [build folder]
# Needs the targets bench_phone_host, labpbx and labpbx-ctl built in that
# folder. Goals: under 0.05% of one core, under 2 wake-ups per second for
# each engine thread (voice-*).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
seconds=${IDLE_SECONDS:-60}
# Measuring starts this long after registration: the text cursor blinks
# for the first 10 s after the window comes up.
settle=${IDLE_SETTLE:-12}
phone=$build/bench/app/bench_phone_host
labpbx=$build/labpbx/pbx/labpbx
ctl=$build/labpbx/pbx/labpbx-ctl
for program in "$phone" "$labpbx" "$ctl"; do
  [ -x "$program" ] || { echo "idle_cost: $program is not built" >&2; exit 2; }
done
. "$root/bench/app/bench_support.sh"

work=$(mktemp -d /tmp/quendra-idle-XXXXXX)
address="127.79.$(( ($$ / 250) % 250 + 1 )).$(( $$ % 250 + 1 ))"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "idle_cost: FAILED: $*" >&2; exit 1; }
ctl() { "$ctl" -a "$address" -p 5039 "$@"; }

cat > "$work/lab.conf" <<EOF
[general]
bindaddr = $address
iaxport = 4569
managerport = 5038
controlport = 5039
minregexpire = 60
maxregexpire = 3600
[extensions]
2001 = lab2001 callerid="Agent 2001" <2001>
[managers]
quendra = labsecret
EOF
"$labpbx" -c "$work/lab.conf" > "$work/labpbx.out" 2>&1 &
pids+=($!)
wait_for 50 ctl stats || fail "the lab PBX did not start"

cat > "$work/Quendra.ini" <<EOF
host=$address
user=2001
pass=lab2001
iax2UDPPort=$(( 20000 + $$ % 20000 ))
EOF

# Runs the phone in the given Qt platform until it is registered, lets it
# settle, and measures it over $seconds.
measure() {
  local label=$1 platform=$2
  echo "== $label: registered, idle for $seconds s =="
  (cd "$work" && QT_QPA_PLATFORM=$platform QUENDRA_AUDIO_SILENT=${QUENDRA_AUDIO_SILENT:-1} \
    exec "$phone" > "$work/phone-$platform.out" 2>&1) &
  local pid=$!
  pids+=("$pid")
  wait_for 100 sh -c "\"$ctl\" -a $address -p 5039 registrations | grep -q '^reg 2001 '" \
    || fail "the phone did not register ($label)"
  sleep "$settle"
  proc_sample "$pid" > "$work/before"
  sleep "$seconds"
  proc_sample "$pid" > "$work/after"
  proc_report "$work/before" "$work/after" "$seconds"
  proc_memory "$pid"
  echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  wait_for 50 sh -c "! \"$ctl\" -a $address -p 5039 registrations | grep -q '^reg 2001 '" || true
  ctl unregister all > /dev/null || true
}

measure "offscreen" offscreen

display=""
for n in $(seq 150 199); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || fail "no free display number"
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp > "$work/xvfb.out" 2>&1 &
pids+=($!)
export DISPLAY=$display
wait_for 50 xdpyinfo || fail "Xvfb did not start"
measure "Xvfb" xcb
