# The package tests' runs of the phone, on the shell harness
# (tests/support/harness.sh, which this sources). Sourced, not run.

# shellcheck source=SCRIPTDIR/../support/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/harness.sh"

# start_offscreen NAME FOLDER COMMAND...: starts the phone on Qt's offscreen
# platform with the silent sound device, in FOLDER, in the background; its
# output goes to $out/NAME.out and its process id to $phone_pid.
start_offscreen() {
  QT_QPA_PLATFORM=offscreen QUENDRA_AUDIO_SILENT=1 start_background "$@"
  phone_pid=$started_pid
}

# stop_offscreen: the phone started last is still running half a second on;
# SIGTERM must end it (stop_phone_by_signal).
stop_offscreen() {
  sleep 0.5
  stop_phone_by_signal "$phone_pid"
}

# window_round_trip TITLE FOLDER COMMAND...: starts the phone on the X
# display in FOLDER, waits for its main window with exactly that title, asks
# it to exit (Escape, then Yes to the question) and checks that it ends with
# status 0. Leaves a screenshot of the window in $out/window.png.
window_round_trip() {
  local title=$1 folder=$2; shift 2
  QUENDRA_AUDIO_SILENT=1 start_background window "$folder" "$@"
  local pid=$started_pid window shown
  window=$(wait_for_window "IAX2 Soft Phone") || fail "the main window did not appear"
  shown=$(xdotool getwindowname "$window")
  [ "$shown" = "$title" ] || fail "the window's title is \"$shown\", not \"$title\""
  screenshot "$window" window 2> /dev/null || true
  exit_through_window "$window" "$pid"
}
