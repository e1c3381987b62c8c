# Shell functions shared by the package tests: starting the phone offscreen
# and taking it through its real window under Xvfb. Sourced, not run.
# The caller sets $out (a folder for the programs' output) and calls
# stop_children on exit.

children=()
stop_children() {
  local pid
  for pid in "${children[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${children[@]}"; do wait "$pid" 2> /dev/null || true; done
  children=()
}

fail() {
  echo "FAILED: $*" >&2
  local f
  for f in "$out"/*.out; do
    [ -s "$f" ] && { echo "--- $f:" >&2; tail -20 "$f" >&2; }
  done
  exit 1
}

# wait_for TENTHS COMMAND...: polls the command until it succeeds, for at
# most so many tenths of a second.
wait_for() {
  local tenths=$1; shift
  for _ in $(seq "$tenths"); do
    "$@" > /dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# file_has GLOB TEXT: some file matching the pattern holds the text.
file_has() {
  local f
  for f in $1; do
    [ -f "$f" ] && grep -qF -- "$2" "$f" && return 0
  done
  return 1
}

# start_offscreen NAME FOLDER COMMAND...: starts the phone on Qt's offscreen
# platform with the silent sound device, in FOLDER, in the background; its
# output goes to $out/NAME.out and its process id to $phone_pid.
start_offscreen() {
  local name=$1 folder=$2; shift 2
  (cd "$folder" && QT_QPA_PLATFORM=offscreen QUENDRA_AUDIO_SILENT=1 exec "$@" > "$out/$name.out" 2>&1) &
  phone_pid=$!
  children+=("$phone_pid")
}

# stop_offscreen: the phone started last is still running (so it got past its
# window's start-up into the event loop); it is ended with SIGTERM, and must
# end by that signal, not by a crash of its own.
stop_offscreen() {
  sleep 0.5
  kill -0 "$phone_pid" 2> /dev/null || fail "the phone ended by itself"
  kill -TERM "$phone_pid"
  local status=0
  wait "$phone_pid" || status=$?
  [ "$status" = 143 ] || fail "the phone ended with status $status on SIGTERM"
}

# start_xvfb: a virtual X display of this run's own in $DISPLAY.
start_xvfb() {
  local n display=""
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
  done
  [ -n "$display" ] || fail "no free display number"
  Xvfb "$display" -screen 0 640x480x24 -nolisten tcp > "$out/xvfb.out" 2>&1 &
  children+=($!)
  export DISPLAY=$display
  wait_for 50 xdpyinfo || fail "Xvfb did not start"
}

# visible_window NAME: prints the id of a shown window whose name matches the
# pattern, waiting up to 10 seconds for one.
visible_window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "$1" 2> /dev/null | head -1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# window_round_trip TITLE FOLDER COMMAND...: starts the phone on the X
# display in FOLDER, waits for its main window with exactly that title, asks
# it to exit (Escape, then Yes to the question) and checks that it ends with
# status 0. Leaves a screenshot of the window in $out/window.png.
window_round_trip() {
  local title=$1 folder=$2; shift 2
  (cd "$folder" && QUENDRA_AUDIO_SILENT=1 exec "$@" > "$out/window.out" 2>&1) &
  local pid=$!
  children+=("$pid")
  local window box status=0
  window=$(visible_window "IAX2 Soft Phone") || fail "the main window did not appear"
  local shown
  shown=$(xdotool getwindowname "$window")
  [ "$shown" = "$title" ] || fail "the window's title is \"$shown\", not \"$title\""
  import -window "$window" "$out/window.png" 2> /dev/null || true
  # There is no window manager: the window is given the focus before each key.
  xdotool windowfocus --sync "$window" > /dev/null 2>&1 || true
  xdotool key --clearmodifiers Escape
  box=$(visible_window "^Quendra$") || fail "the exit question did not appear"
  xdotool windowfocus --sync "$box" > /dev/null 2>&1 || true
  xdotool key --clearmodifiers alt+y
  for _ in $(seq 100); do
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2> /dev/null && fail "the phone did not end after Exit"
  wait "$pid" || status=$?
  [ "$status" = 0 ] || fail "the phone ended with status $status"
}
