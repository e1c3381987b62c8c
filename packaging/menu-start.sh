#!/bin/sh
# Starts the phone for the desktop menu (the desktop entry's Exec): the
# options file is the user's own, $XDG_CONFIG_HOME/quendra/Quendra.ini
# (default ~/.config/quendra), and the debug log is written in the user's
# state folder, $XDG_STATE_HOME/quendra (default ~/.local/state/quendra),
# which becomes the working folder. Both folders are made on first start.
# Arguments are passed on to the phone after the -init switch that names the
# options file. Started from a terminal, quendra itself keeps to the working
# folder.
set -e

# An XDG base folder must be an absolute path; anything else is ignored.
base_folder() {
  case "$1" in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$2" ;;
  esac
}

config=$(base_folder "${XDG_CONFIG_HOME:-}" "$HOME/.config")/quendra
state=$(base_folder "${XDG_STATE_HOME:-}" "$HOME/.local/state")/quendra
# Private, as the XDG base directory rules ask: the options file holds passwords.
mkdir -p -m 700 "$config" "$state"
cd "$state"
exec quendra "-init$config/Quendra.ini" "$@"
