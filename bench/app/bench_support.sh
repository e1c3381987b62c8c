# Shell functions the benchmarks share: reading a process's costs from
# /proc. Sourced, not run; it brings in the shell harness that starts the
# lab PBX, Xvfb and the phones and stops them on exit.

# shellcheck source=SCRIPTDIR/../../tests/support/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../../tests/support/harness.sh"

# One line per thread of process $1: tid, name, voluntary and involuntary
# context switches, processor time in nanoseconds.
proc_sample() {
  local pid=$1 task tid name vol invol run
  for task in /proc/"$pid"/task/*; do
    tid=${task##*/}
    name=$(tr ' ' '_' 2>/dev/null < "$task/comm") || continue
    vol=$(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status" 2>/dev/null) || continue
    invol=$(awk '/^nonvoluntary_ctxt_switches/ {print $2}' "$task/status" 2>/dev/null) || continue
    run=$(cut -d' ' -f1 "$task/schedstat" 2>/dev/null) || continue
    echo "$tid $name $vol $invol $run"
  done
}

# Per-thread wake-ups per second and processor time between two samples
# taken $3 seconds apart, and the process's share of one core. Threads
# named voice-* are the engine's; their wake-ups are checked against the
# goal of 2 per second, the total against 0.05% of a core.
proc_report() {
  awk -v seconds="$3" '
    NR == FNR { vol[$1] = $3; invol[$1] = $4; run[$1] = $5; next }
    ($1 in vol) {
      wake = ($3 - vol[$1] + $4 - invol[$1]) / seconds
      ms = ($5 - run[$1]) / 1e6
      total += ms
      printf "  %-16s tid %-8s %8.2f wake-ups/s %9.1f ms\n", $2, $1, wake, ms
      if ($2 ~ /^voice-/ && wake >= 2) over = over " " $2
    }
    END {
      share = total / (seconds * 1000) * 100
      printf "  processor time: %.1f ms in %d s = %.4f%% of one core [%s]\n", total, seconds, share,
             share < 0.05 ? "goal met" : "ABOVE 0.05% GOAL"
      printf "  engine threads under 2 wake-ups/s: %s\n", over == "" ? "yes" : "NO:" over
    }' "$1" "$2"
}

# Resident and proportional set size of process $1.
proc_memory() {
  awk '/^Rss:/ {rss = $2} /^Pss:/ {pss = $2}
       END {printf "  memory: resident %.1f MB, proportional %.1f MB\n", rss / 1024, pss / 1024}' \
    /proc/"$1"/smaps_rollup
}
