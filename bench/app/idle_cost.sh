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
seconds=${IDLE_SECONDS:-60}
# Measuring starts this long after registration: the text cursor blinks
# for the first 10 s after the window comes up.
settle=${IDLE_SETTLE:-12}
. "$root/bench/app/bench_support.sh"
use_build "${1:-$root/build}" bench/app/bench_phone_host labpbx labpbx-ctl
phone=$build/bench/app/bench_phone_host
harness_begin idle_cost

start_labpbx <<EOF
[general]
iaxport = 4569
minregexpire = 60
maxregexpire = 3600
[extensions]
2001 = lab2001 callerid="Agent 2001" <2001>
[managers]
quendra = labsecret
EOF

cat > "$out/Quendra.ini" <<EOF
host=$labpbx_address
user=2001
pass=lab2001
iax2UDPPort=$(free_udp_port)
EOF

# Runs the phone in the given Qt platform until it is registered, lets it
# settle, and measures it over $seconds.
measure() {
  local label=$1 platform=$2
  echo "== $label: registered, idle for $seconds s =="
  QT_QPA_PLATFORM=$platform QUENDRA_AUDIO_SILENT=${QUENDRA_AUDIO_SILENT:-1} \
    start_background "phone-$platform" "$out" "$phone"
  local pid=$started_pid
  wait_for 100 labpbx_shows '^reg 2001 ' registrations || fail "the phone did not register ($label)"
  sleep "$settle"
  proc_sample "$pid" > "$out/before"
  sleep "$seconds"
  proc_sample "$pid" > "$out/after"
  proc_report "$out/before" "$out/after" "$seconds"
  proc_memory "$pid"
  echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  wait_for 50 labpbx_lacks '^reg 2001 ' registrations || true
  labpbx_ctl unregister all > /dev/null || true
}

measure "offscreen" offscreen
start_xvfb 640x480x24
measure "Xvfb" xcb
