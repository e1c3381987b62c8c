#!/usr/bin/env bash
# Many agents on one desktop server: DENSITY_PHONES (default 50) phones,
# offscreen, each with its own options file and extension, registered to
# one lab PBX. Reports their processor time together and the wake-ups of
# their threads while all idle for DENSITY_SECONDS (default 60), the memory
# of each (PSS), then has each phone in turn take a call through the lab
# PBX while the others stay registered: it rings, the phone's Answer key
# answers it, audio goes both ways through the PBX, the Release key ends it.
#   bench/app/density.sh [build folder]
# (at most 998 phones: extensions 3001 on; the caller is 3999)
# Needs the targets bench_phone_host, bench_density_caller, labpbx and
# labpbx-ctl built in that folder. Goals: all phones idle under 5% of one
# core together; every call succeeds.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
count=${DENSITY_PHONES:-50}
seconds=${DENSITY_SECONDS:-60}
settle=${DENSITY_SETTLE:-15}
. "$root/bench/app/bench_support.sh"
use_build "${1:-$root/build}" bench/app/bench_phone_host bench/app/bench_density_caller labpbx labpbx-ctl
phone=$build/bench/app/bench_phone_host
caller=$build/bench/app/bench_density_caller
[ -z "${DENSITY_KEEP:-}" ] || HARNESS_KEEP=1
harness_begin density
# Phones registered (the caller's extension 3999 is not counted).
registered() { labpbx_ctl registrations | awk -v last=$((3000 + count)) '$1 == "reg" && $2 > 3000 && $2 <= last {n++} END {print n + 0}'; }

start_labpbx < <(
  printf '[general]\niaxport = 4569\nminregexpire = 60\nmaxregexpire = 3600\nringtimeout = 60\n'
  printf '[extensions]\n3999 = lab3999 callerid="Density Caller" <3999>\n'
  for i in $(seq "$count"); do echo "$((3000 + i)) = lab$((3000 + i))"; done
  printf '[managers]\nquendra = labsecret\n'
)
"$caller" tone "$out/tone.wav" || fail "cannot write the tone"

# --- the phones -------------------------------------------------------------
echo "== $count phones start, offscreen =="
phone_pids=()
for i in $(seq "$count"); do
  ext=$((3000 + i))
  mkdir -p "$out/p$ext"
  printf 'host=%s\nuser=%s\npass=lab%s\niax2UDPPort=%s\n' "$labpbx_address" "$ext" "$ext" "$((30000 + i))" \
    > "$out/p$ext/Quendra.ini"
  # Audio from and to WAV files: the phone sends the tone and records what
  # it plays, so the calls below can show audio went both ways.
  QT_QPA_PLATFORM=offscreen QUENDRA_AUDIO_IN="$out/tone.wav" QUENDRA_AUDIO_OUT="$out/p$ext/heard.wav" \
    start_background "p$ext/phone" "$out/p$ext" "$phone"
  phone_pids+=("$started_pid")
  sleep 0.2
done
for _ in $(seq 1200); do
  [ "$(registered)" -ge "$count" ] && break
  sleep 0.1
done
[ "$(registered)" -ge "$count" ] || fail "only $(registered) of $count phones registered"
echo "all $count registered"

# --- idle -------------------------------------------------------------------
sleep "$settle"
for i in $(seq "$count"); do proc_sample "${phone_pids[$((i - 1))]}" > "$out/before-$i"; done
sleep "$seconds"
for i in $(seq "$count"); do proc_sample "${phone_pids[$((i - 1))]}" > "$out/after-$i"; done
echo "== $count phones registered and idle for $seconds s =="
for i in $(seq "$count"); do
  awk -v seconds="$seconds" '
    NR == FNR { vol[$1] = $3; invol[$1] = $4; run[$1] = $5; next }
    ($1 in vol) { printf "%s %.4f %.4f\n", $2, ($3 - vol[$1] + $4 - invol[$1]) / seconds, ($5 - run[$1]) / 1e6 }
  ' "$out/before-$i" "$out/after-$i"
done > "$out/idle"
awk -v seconds="$seconds" -v count="$count" '
  { wake[$1] += $2; if ($2 > most[$1]) most[$1] = $2; n[$1]++; total += $3 }
  END {
    for (t in wake)
      printf "  %-16s %6.2f wake-ups/s on average, %6.2f at most (%d threads)\n", t, wake[t] / n[t], most[t], n[t]
    share = total / (seconds * 1000) * 100
    printf "  processor time of all %d phones: %.1f ms in %d s = %.3f%% of one core [%s]\n", count, total,
           seconds, share, share < 5 ? "goal met" : "ABOVE 5% GOAL"
  }' "$out/idle"
for i in $(seq "$count"); do
  awk '/^Rss:/ {rss = $2} /^Pss:/ {pss = $2} END {print rss, pss}' /proc/"${phone_pids[$((i - 1))]}"/smaps_rollup
done | awk -v count="$count" '
  { rss += $1; pss += $2; if ($2 > most) most = $2 }
  END {
    printf "  memory per phone: PSS %.1f MB on average (%.1f MB at most), RSS %.1f MB; PSS of all %d: %.0f MB\n",
           pss / NR / 1024, most / 1024, rss / NR / 1024, count, pss / 1024
  }'
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

# --- a call to each phone in turn -------------------------------------------
echo "== a call to each phone in turn =="
ok=0
for i in $(seq "$count"); do
  ext=$((3000 + i))
  pid=${phone_pids[$((i - 1))]}
  call_out="$out/call-$ext.out"
  QUENDRA_AUDIO_IN="$out/tone.wav" start_background "call-$ext" "$out" \
    "$caller" call "$labpbx_address:4569" 3999 lab3999 "$ext" "$out/p$ext/heard.wav"
  caller_pid=$started_pid
  if wait_for 300 labpbx_shows 'state=ringing' calls; then
    kill -USR1 "$pid"  # the Answer key
    if wait_for 300 grep -q '^talking' "$call_out"; then
      kill -USR2 "$pid"  # the Release key
    fi
  fi
  wait "$caller_pid" 2>/dev/null || true
  line=$(grep -E '^(ok|FAILED)' "$call_out" | tail -1 || true)
  others=$(registered)
  result="FAILED"
  if [[ "$line" == ok* ]] && [ "$others" -ge "$count" ]; then
    ok=$((ok + 1))
    result="ok"
  fi
  wait_for 50 labpbx_lacks '^call ' calls || true
  printf "  %s: %s (%s; %s of %s registered)\n" "$ext" "$result" "${line:-no result}" "$others" "$count"
done
echo "calls that succeeded: $ok of $count"
[ "$ok" -eq "$count" ]
