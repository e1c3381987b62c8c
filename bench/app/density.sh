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
build=$(cd "${1:-$root/build}" && pwd)
count=${DENSITY_PHONES:-50}
seconds=${DENSITY_SECONDS:-60}
settle=${DENSITY_SETTLE:-15}
phone=$build/bench/app/bench_phone_host
caller=$build/bench/app/bench_density_caller
labpbx=$build/labpbx/pbx/labpbx
ctl=$build/labpbx/pbx/labpbx-ctl
for program in "$phone" "$caller" "$labpbx" "$ctl"; do
  [ -x "$program" ] || { echo "density: $program is not built" >&2; exit 2; }
done
. "$root/bench/app/bench_support.sh"

work=$(mktemp -d /tmp/quendra-density-XXXXXX)
address="127.81.$(( ($$ / 250) % 250 + 1 )).$(( $$ % 250 + 1 ))"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  [ -n "${DENSITY_KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "density: FAILED: $*" >&2; exit 1; }
ctl() { "$ctl" -a "$address" -p 5039 "$@"; }
# Phones registered (the caller's extension 3999 is not counted).
registered() { ctl registrations | awk -v last=$((3000 + count)) '$1 == "reg" && $2 > 3000 && $2 <= last {n++} END {print n + 0}'; }

{
  printf '[general]\nbindaddr = %s\niaxport = 4569\nmanagerport = 5038\ncontrolport = 5039\n' "$address"
  printf 'minregexpire = 60\nmaxregexpire = 3600\nringtimeout = 60\n'
  printf '[extensions]\n3999 = lab3999 callerid="Density Caller" <3999>\n'
  for i in $(seq "$count"); do echo "$((3000 + i)) = lab$((3000 + i))"; done
  printf '[managers]\nquendra = labsecret\n'
} > "$work/lab.conf"
"$labpbx" -c "$work/lab.conf" > "$work/labpbx.out" 2>&1 &
pids+=($!)
wait_for 50 ctl stats || fail "the lab PBX did not start"
"$caller" tone "$work/tone.wav" || fail "cannot write the tone"

# --- the phones -------------------------------------------------------------
echo "== $count phones start, offscreen =="
phone_pids=()
for i in $(seq "$count"); do
  ext=$((3000 + i))
  mkdir -p "$work/p$ext"
  printf 'host=%s\nuser=%s\npass=lab%s\niax2UDPPort=%s\n' "$address" "$ext" "$ext" "$((30000 + i))" \
    > "$work/p$ext/Quendra.ini"
  # Audio from and to WAV files: the phone sends the tone and records what
  # it plays, so the calls below can show audio went both ways.
  (cd "$work/p$ext" && QT_QPA_PLATFORM=offscreen QUENDRA_AUDIO_IN="$work/tone.wav" \
    QUENDRA_AUDIO_OUT="$work/p$ext/heard.wav" exec "$phone" > "$work/p$ext/phone.out" 2>&1) &
  phone_pids+=($!)
  pids+=($!)
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
for i in $(seq "$count"); do proc_sample "${phone_pids[$((i - 1))]}" > "$work/before-$i"; done
sleep "$seconds"
for i in $(seq "$count"); do proc_sample "${phone_pids[$((i - 1))]}" > "$work/after-$i"; done
echo "== $count phones registered and idle for $seconds s =="
for i in $(seq "$count"); do
  awk -v seconds="$seconds" '
    NR == FNR { vol[$1] = $3; invol[$1] = $4; run[$1] = $5; next }
    ($1 in vol) { printf "%s %.4f %.4f\n", $2, ($3 - vol[$1] + $4 - invol[$1]) / seconds, ($5 - run[$1]) / 1e6 }
  ' "$work/before-$i" "$work/after-$i"
done > "$work/idle"
awk -v seconds="$seconds" -v count="$count" '
  { wake[$1] += $2; if ($2 > most[$1]) most[$1] = $2; n[$1]++; total += $3 }
  END {
    for (t in wake)
      printf "  %-16s %6.2f wake-ups/s on average, %6.2f at most (%d threads)\n", t, wake[t] / n[t], most[t], n[t]
    share = total / (seconds * 1000) * 100
    printf "  processor time of all %d phones: %.1f ms in %d s = %.3f%% of one core [%s]\n", count, total,
           seconds, share, share < 5 ? "goal met" : "ABOVE 5% GOAL"
  }' "$work/idle"
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
  out="$work/call-$ext.out"
  QUENDRA_AUDIO_IN="$work/tone.wav" "$caller" call "$address:4569" 3999 lab3999 "$ext" \
    "$work/p$ext/heard.wav" > "$out" 2>&1 &
  caller_pid=$!
  pids+=("$caller_pid")
  if wait_for 300 sh -c "\"$ctl\" -a $address -p 5039 calls | grep -q 'state=ringing'"; then
    kill -USR1 "$pid"  # the Answer key
    if wait_for 300 grep -q '^talking' "$out"; then
      kill -USR2 "$pid"  # the Release key
    fi
  fi
  wait "$caller_pid" 2>/dev/null || true
  line=$(grep -E '^(ok|FAILED)' "$out" | tail -1 || true)
  others=$(registered)
  result="FAILED"
  if [[ "$line" == ok* ]] && [ "$others" -ge "$count" ]; then
    ok=$((ok + 1))
    result="ok"
  fi
  wait_for 50 sh -c "! \"$ctl\" -a $address -p 5039 calls | grep -q '^call '" || true
  printf "  %s: %s (%s; %s of %s registered)\n" "$ext" "$result" "${line:-no result}" "$others" "$count"
done
echo "calls that succeeded: $ok of $count"
[ "$ok" -eq "$count" ]
