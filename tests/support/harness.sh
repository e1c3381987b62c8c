# Shell harness of the end-to-end tests, the package tests and the benchmarks
# that run real programs: a virtual X server, the lab PBX, the phone, waiting
# for what they show, keys and clicks, screenshots, and clean-up on exit.
# Sourced by bash scripts, not run:
#   source "$root/tests/support/harness.sh"
#   harness_begin <name> [output folder]
# Everything it starts is stopped when the script exits, however it exits.
# Loopback only: the lab PBX listens on a 127.x.y.z address of the run's own.

# The variables it sets ($out, $build, $labpbx_address, $phone_pid ...) are
# for the scripts that source it.
# shellcheck disable=SC2034
harness_name=${harness_name:-$(basename "$0")}
harness_children=()
harness_exit_steps=()
harness_temporary=0

# harness_begin NAME [FOLDER]: names the run in its messages and gives it its
# folder, $out: FOLDER, emptied first and kept afterwards; without FOLDER, a
# temporary folder removed on exit (kept when HARNESS_KEEP is set).
harness_begin() {
  harness_name=$1
  if [ -n "${2:-}" ]; then
    out=$2
    rm -rf "$out"
    mkdir -p "$out"
  else
    out=$(mktemp -d "/tmp/quendra-$harness_name.XXXXXX")
    harness_temporary=1
  fi
  out=$(cd "$out" && pwd)
  trap harness_cleanup EXIT
}

# at_exit COMMAND...: a clean-up step run on exit, after the programs the
# harness started are stopped.
at_exit() {
  harness_exit_steps+=("$(printf '%q ' "$@")")
}

# stop_children: stops every program the harness started, the last started
# first, and waits for each.
stop_children() {
  local i pid
  for ((i = ${#harness_children[@]} - 1; i >= 0; i--)); do
    kill "${harness_children[$i]}" 2> /dev/null || true
  done
  for pid in "${harness_children[@]}"; do wait "$pid" 2> /dev/null || true; done
  harness_children=()
}

# The EXIT trap: the programs, then the clean-up steps, then the temporary
# folder. Keeps the script's exit status.
harness_cleanup() {
  local step
  stop_children
  for step in "${harness_exit_steps[@]}"; do eval "$step" || true; done
  if [ "$harness_temporary" = 1 ]; then
    if [ -n "${HARNESS_KEEP:-}" ]; then echo "kept $out"; else rm -rf "$out"; fi
  fi
}

# fail MESSAGE: ends the run with status 1, showing the message and the last
# lines of the programs' output and logs in $out.
fail() {
  echo "$harness_name: FAILED: $*" >&2
  local f
  for f in "${out:-/nonexistent}"/*.out "${out:-/nonexistent}"/*.log; do
    [ -s "$f" ] && { echo "--- $f:" >&2; tail -40 "$f" >&2; }
  done
  exit 1
}

# require_tools TOOL...: ends the run as skipped (status 77, which CTest
# counts as a skip) when one of the commands is not installed.
require_tools() {
  local tool missing=()
  for tool in "$@"; do command -v "$tool" > /dev/null 2>&1 || missing+=("$tool"); done
  [ "${#missing[@]}" = 0 ] && return 0
  echo "$harness_name: skipped: not installed: ${missing[*]}"
  exit 77
}

# use_build FOLDER PROGRAM...: the programs of that build folder, in
# $quendra_program, $labpbx_program and $labpbx_ctl_program; the ones named
# (quendra, labpbx, labpbx-ctl or a path under the folder) must be built.
use_build() {
  build=$(cd "$1" && pwd) || { echo "$harness_name: no build folder $1" >&2; exit 2; }
  shift
  quendra_program=$build/program/quendra
  labpbx_program=$build/labpbx/pbx/labpbx
  labpbx_ctl_program=$build/labpbx/pbx/labpbx-ctl
  local name path
  for name in "$@"; do
    case "$name" in
      quendra) path=$quendra_program ;;
      labpbx) path=$labpbx_program ;;
      labpbx-ctl) path=$labpbx_ctl_program ;;
      *) path=$build/$name ;;
    esac
    [ -x "$path" ] || { echo "$harness_name: $path is not built" >&2; exit 2; }
  done
}

# wait_for TENTHS COMMAND...: runs the command until it succeeds, for at most
# so many tenths of a second. Its output is dropped.
wait_for() {
  local tenths=$1; shift
  for _ in $(seq "$tenths"); do
    "$@" > /dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# log_has GLOB TEXT: some file matching the pattern holds the text.
log_has() {
  local f
  for f in $1; do
    [ -f "$f" ] && grep -qF -- "$2" "$f" && return 0
  done
  return 1
}

# wait_for_log TENTHS GLOB TEXT: waits so long for the text in a file
# matching the pattern (the phone's debug log, a program's output).
wait_for_log() {
  wait_for "$1" log_has "$2" "$3"
}

# start_background NAME FOLDER COMMAND...: starts the command in FOLDER in the
# background, its output in $out/NAME.out, its process id in $started_pid;
# it is stopped on exit. Variables set before the call reach the command.
start_background() {
  local name=$1 folder=$2; shift 2
  (cd "$folder" && exec "$@" > "$out/$name.out" 2>&1) &
  started_pid=$!
  harness_children+=("$started_pid")
}

# free_udp_port: prints a UDP port from 20000 to 59999 that nothing on this
# machine has bound.
free_udp_port() {
  local used=" " address port
  while read -r _ address _; do
    [[ "$address" == *:* ]] && used+="$((16#${address##*:})) "
  done < <(tail -qn +2 /proc/net/udp /proc/net/udp6 2> /dev/null)
  for _ in $(seq 100); do
    port=$((20000 + RANDOM % 40000))
    [[ "$used" == *" $port "* ]] || { echo "$port"; return 0; }
  done
  fail "no free UDP port"
}

# --- X server ------------------------------------------------------------

# start_xvfb [GEOMETRY]: a virtual X server on a display number it finds
# free itself, in $DISPLAY. GEOMETRY is WIDTHxHEIGHTxDEPTH, 1024x768x24
# unless given. An X server that is still ending can take a new one's
# socket on the same number with it, so the tests that start one hold the
# CTest resource lock x_display, and the clean-up waits for it to end.
start_xvfb() {
  local geometry=${1:-1024x768x24} number_file=$out/xvfb.display
  : > "$number_file"
  Xvfb -displayfd 3 -screen 0 "$geometry" -nolisten tcp 3> "$number_file" > "$out/xvfb.out" 2>&1 &
  harness_children+=($!)
  wait_for 100 test -s "$number_file" || fail "Xvfb did not start"
  DISPLAY=":$(head -1 "$number_file")"
  export DISPLAY
  wait_for 50 xdotool getdisplaygeometry || fail "Xvfb does not answer on $DISPLAY"
}

# wait_for_window PATTERN [TENTHS]: prints the id of a shown window whose name
# matches the pattern, waiting for one so long (10 seconds unless given).
wait_for_window() {
  local id
  for _ in $(seq "${2:-100}"); do
    id=$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# screenshot WINDOW NAME: the window (or "root", the whole screen) as
# $out/NAME.png.
screenshot() {
  import -window "$1" "$out/$2.png"
}

# press_keys WINDOW KEY...: gives the window the focus (there is no window
# manager) and sends it the keys, as xdotool names them (alt+a, Return).
press_keys() {
  local window=$1; shift
  xdotool windowactivate --sync "$window" > /dev/null 2>&1 \
    || xdotool windowfocus --sync "$window" > /dev/null 2>&1 || true
  xdotool key --clearmodifiers "$@"
}

# type_text TEXT: types the text into the control that has the focus.
type_text() {
  xdotool type --delay 20 "$1"
}

# click_dialog_units WINDOW X Y: clicks the point of the phone's main window
# given in the layout's dialog units (its client area is 294 by 266).
click_dialog_units() {
  # shellcheck disable=SC2034  # all set by the eval, two of them used
  local WINDOW X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1")"
  # No --sync: xdotool then waits many seconds for a move to where the
  # pointer already is.
  xdotool mousemove --window "$1" $(($2 * WIDTH / 294)) $(($3 * HEIGHT / 266)) click 1
}

# --- the lab PBX ---------------------------------------------------------

# start_labpbx < lab.conf: the lab PBX with the configuration on standard
# input, written to $out/lab.conf with the bind address replaced by a
# loopback address of this run's own ($labpbx_address, IAX2 on the port the
# configuration gives, 4569 unless said) and manager and control interfaces
# on free ports ($labpbx_manager_port, $labpbx_control_port).
start_labpbx() {
  local conf ports
  conf=$(cat)
  for _ in 1 2 3; do
    labpbx_address="127.$((RANDOM % 200 + 20)).$((RANDOM % 250 + 1)).$(($$ % 250 + 1))"
    awk -v address="$labpbx_address" '
      /^[ \t]*\[/ { general = ($0 ~ /^[ \t]*\[general\]/); print; if (general) { print "bindaddr = " address; seen = 1 }; next }
      general && /^[ \t]*bindaddr[ \t]*=/ { next }
      { print }
      END { if (!seen) printf "[general]\nbindaddr = %s\n", address }' <<< "$conf" > "$out/lab.conf"
    start_background labpbx "$out" "$labpbx_program" -c "$out/lab.conf" --manager-port 0 --control-port 0
    wait_for 50 grep -q '^labpbx: IAX2 ' "$out/labpbx.out" || continue
    ports=$(sed -n 's|^labpbx: IAX2 .*:\([0-9]*\)/udp, manager .*:\([0-9]*\)/tcp, control .*:\([0-9]*\)/tcp$|\2 \3|p' \
      "$out/labpbx.out")
    read -r labpbx_manager_port labpbx_control_port <<< "$ports"
    wait_for 50 labpbx_ctl stats && return 0
  done
  fail "the lab PBX did not start"
}

# labpbx_ctl COMMAND...: a command to the lab PBX's control interface.
labpbx_ctl() {
  "$labpbx_ctl_program" -a "$labpbx_address" -p "$labpbx_control_port" "$@"
}

# labpbx_shows PATTERN COMMAND...: the control command's answer has a line
# matching the pattern (grep's); labpbx_lacks: it has none.
labpbx_shows() {
  local pattern=$1; shift
  labpbx_ctl "$@" | grep -q -- "$pattern"
}
labpbx_lacks() {
  local pattern=$1 answer; shift
  answer=$(labpbx_ctl "$@") || return 1
  ! grep -q -- "$pattern" <<< "$answer"
}

# --- the phone -----------------------------------------------------------

# start_phone FOLDER [SWITCH...]: the phone of the build (use_build) with the
# switches and -debug, working in FOLDER (where it looks for Quendra.ini
# unless -init names the options file), with the silent sound device unless
# QUENDRA_AUDIO_SILENT says otherwise. Output in $out/quendra.out, process id
# in $phone_pid.
start_phone() {
  local folder=$1; shift
  # A sanitizer build reports leaks at exit; the D-Bus library that the
  # platform plugin loads keeps one buffer for good.
  printf 'leak:libdbus-1.so\n' > "$out/lsan.supp"
  QUENDRA_AUDIO_SILENT=${QUENDRA_AUDIO_SILENT:-1} LSAN_OPTIONS="suppressions=$out/lsan.supp" \
    start_background quendra "$folder" "$quendra_program" "$@" -debug
  phone_pid=$started_pid
}

# wait_for_end PID [TENTHS]: the process (a child of this shell) has ended
# within so long (10 seconds unless given); its exit status in $end_status.
wait_for_end() {
  for _ in $(seq "${2:-100}"); do
    kill -0 "$1" 2> /dev/null || break
    sleep 0.1
  done
  kill -0 "$1" 2> /dev/null && return 1
  end_status=0
  wait "$1" || end_status=$?
}

# exit_through_window WINDOW PID: Exit as a user does it, Escape in the main
# window and Yes to the question (shot as $out/exit-question.png); the phone
# must then end with status 0.
exit_through_window() {
  local window=$1 pid=$2 box
  press_keys "$window" Escape
  box=$(wait_for_window "^Quendra$" 50) || fail "the exit question did not appear"
  screenshot "$box" exit-question
  press_keys "$box" alt+y
  wait_for_end "$pid" || fail "the phone did not end after Exit"
  [ "$end_status" = 0 ] || fail "the phone ended with status $end_status"
}

# stop_phone_by_signal PID: the phone is still running (so it got past its
# start into the event loop); SIGTERM ends it, and it must end by that signal,
# not by a crash of its own.
stop_phone_by_signal() {
  local status=0
  kill -0 "$1" 2> /dev/null || fail "the phone ended by itself"
  kill -TERM "$1"
  wait "$1" || status=$?
  [ "$status" = 143 ] || fail "the phone ended with status $status on SIGTERM"
}
