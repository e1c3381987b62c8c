#!/usr/bin/env bash
# Tests of the Debian package, each run by CTest as package.<check>:
#   package_test.sh <check> <build folder> <version>
# build             builds the package (the package target) and unpacks it,
#                   files and control part, into <build>/package-test
# files             the file list, the control fields, the programs
# offscreen_starts  the unpacked phone on Qt's offscreen platform: from a
#                   terminal (working folder) and from the desktop menu (XDG
#                   folders, made on first start); the example options file
#                   and opt-out file are read without a warning
# window            the desktop entry's command under Xvfb: the main window
#                   with the version in its title, Exit, status 0
# desktop_entry     desktop-file-validate, and what the entry names exists
# metainfo          appstreamcli validate --no-net, and its release version
# man_pages         man renders them without warnings; every switch and key
#                   of the phone is in its page and the example files
# maintainer_scripts  the postinst and postrm on a scratch ODBC driver list
# lintian           no errors
set -euo pipefail
check=$1
build=$(cd "$2" && pwd)
version=$3
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$build/package-test
root=$work/root
control=$work/control
deb=$build/quendra_${version}_amd64.deb
out=$work/$check
# shellcheck source=SCRIPTDIR/phone_runs.sh
source "$(dirname "$0")/phone_runs.sh"

if [ "$check" != build ]; then
  [ -d "$root/usr" ] || { echo "the package is not unpacked: run package.build first" >&2; exit 1; }
fi
harness_begin "package.$check" "$out"

# The keys the readers in the source accept, one a line: the options file's
# key table and the opt-out file's matches.
phone_keys() {
  grep -oE '[a-z]+Key\("[A-Za-z0-9_]+"' "$source_dir/app/options_file.cpp" | sed 's/.*("//; s/"$//' | sort -u
}
optout_keys() {
  grep -oE '(match[A-Za-z]+\(line, |strncmp\(line, |\{)"[A-Za-z0-9_]+", ' "$source_dir/optout/optout_file.cpp" \
    | sed 's/.*"\([A-Za-z0-9_]*\)", $/\1/' | sort -u
}

check_build() {
  rm -rf "$work" "$build"/quendra_*_amd64.deb
  mkdir -p "$work"
  cmake --build "$build" --target package > "$work/build.out" 2>&1 || { cat "$work/build.out"; exit 1; }
  [ -f "$deb" ] || { ls "$build"/*.deb >&2 || true; echo "no $deb" >&2; exit 1; }
  dpkg-deb -x "$deb" "$root"
  dpkg-deb -e "$deb" "$control"
  echo "built and unpacked $deb"
}

check_files() {
  local expected actual
  expected=$(cat <<EOF
usr/bin/quendra
usr/bin/quendra-labpbx
usr/bin/quendra-labpbx-ctl
usr/libexec/quendra/menu-start
usr/share/applications/quendra.desktop
usr/share/doc/quendra/changelog.gz
usr/share/doc/quendra/copyright
usr/share/doc/quendra/examples/Quendra.ini
usr/share/doc/quendra/examples/lab.conf
usr/share/doc/quendra/examples/optout.cfg
usr/share/doc/quendra/examples/quendra-lab.ini
usr/share/icons/hicolor/128x128/apps/quendra.png
usr/share/icons/hicolor/16x16/apps/quendra.png
usr/share/icons/hicolor/22x22/apps/quendra.png
usr/share/icons/hicolor/24x24/apps/quendra.png
usr/share/icons/hicolor/256x256/apps/quendra.png
usr/share/icons/hicolor/32x32/apps/quendra.png
usr/share/icons/hicolor/48x48/apps/quendra.png
usr/share/icons/hicolor/64x64/apps/quendra.png
usr/share/man/man1/quendra-labpbx-ctl.1.gz
usr/share/man/man1/quendra-labpbx.1.gz
usr/share/man/man1/quendra.1.gz
usr/share/metainfo/org.quendra.quendra.metainfo.xml
EOF
)
  actual=$(cd "$root" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort)
  if [ "$actual" != "$(LC_ALL=C sort <<< "$expected")" ]; then
    diff <(LC_ALL=C sort <<< "$expected") <(echo "$actual") >&2 || true
    fail "the package's files differ from the list (< expected, > in the package)"
  fi
  [ "$(readlink "$root/usr/share/man/man1/quendra-labpbx-ctl.1.gz")" = quendra-labpbx.1.gz ] \
    || fail "quendra-labpbx-ctl's page is not a link to the lab PBX's"

  local field
  for field in Package:quendra Version:"$version" Architecture:amd64; do
    [ "$(dpkg-deb -f "$deb" "${field%%:*}")" = "${field#*:}" ] || fail "control field ${field%%:*} is not ${field#*:}"
  done
  local depends
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libqt6widgets6 libodbc2 libportaudio2 libgsm1 libspeexdsp1 libc6; do
    grep -q "\b$lib\b" <<< "$depends" || fail "Depends lacks $lib (from the linked libraries): $depends"
  done
  [ "$(dpkg-deb -f "$deb" Recommends)" = "odbc-mariadb, tdsodbc" ] || fail "Recommends are not the ODBC drivers"

  local program
  for program in quendra quendra-labpbx quendra-labpbx-ctl; do
    [ -x "$root/usr/bin/$program" ] || fail "$program is not executable"
    if readelf -S "$root/usr/bin/$program" | grep -qE '\.debug_|\.symtab'; then
      fail "$program is not stripped"
    fi
  done
  [ -x "$root/usr/libexec/quendra/menu-start" ] || fail "menu-start is not executable"
  grep -qF "Quendra Version $version" "$root/usr/bin/quendra" || fail "the settings window's version line is not $version"
  grep -qF "IAX2 Soft Phone v$version" "$root/usr/bin/quendra" || fail "the window title's version is not $version"
  "$root/usr/bin/quendra-labpbx" --no-such-switch 2> "$out/usage.out" && fail "a bad switch was accepted"
  grep -q '^usage: quendra-labpbx ' "$out/usage.out" || fail "the lab PBX's usage does not name it quendra-labpbx"
  echo "files, control fields and programs as expected"
}

check_offscreen_starts() {
  local home=$out/home
  mkdir -p "$home"
  export HOME=$home
  unset XDG_CONFIG_HOME XDG_STATE_HOME
  export PATH="$root/usr/bin:$PATH"

  # From a terminal: the options file and the debug log in the working
  # folder. The shipped examples are the files, with the log switched on;
  # the opt-out file lacks its password, so no database is looked for.
  local folder=$out/terminal
  mkdir -p "$folder"
  { cat "$root/usr/share/doc/quendra/examples/Quendra.ini"; echo "debug=1;"; } > "$folder/Quendra.ini"
  grep -v '^dbpassword=' "$root/usr/share/doc/quendra/examples/optout.cfg" > "$folder/optout.cfg"
  start_offscreen terminal "$folder" "$root/usr/bin/quendra" "-opto$folder/optout.cfg"
  wait_for_log 100 "$folder/Quendra1001-*.log" "IAX config file name = [Quendra.ini]" \
    || fail "no debug log in the working folder naming Quendra.ini"
  wait_for_log 50 "$folder/Quendra1001-*.log" "mandatory dbpassword is not given" \
    || fail "the opt-out file was not read"
  stop_offscreen
  if grep -E 'invalid|out of range|empty or too long|fopen' "$folder"/Quendra1001-*.log; then
    fail "the example files were not read cleanly"
  fi
  [ ! -e "$home/.config/quendra" ] && [ ! -e "$home/.local/state/quendra" ] \
    || fail "a terminal start made the desktop-menu folders"

  # From the menu, XDG variables unset (a relative one counts as unset): the
  # options file in ~/.config/quendra, the log in ~/.local/state/quendra.
  mkdir -p "$home/.config/quendra"
  printf 'debug=1;\nuser=7002;\n' > "$home/.config/quendra/Quendra.ini"
  XDG_STATE_HOME=relative/state start_offscreen menu-default "$out" "$root/usr/libexec/quendra/menu-start"
  wait_for_log 100 "$home/.local/state/quendra/Quendra7002-*.log" \
    "IAX config file name = [$home/.config/quendra/Quendra.ini]" \
    || fail "no debug log in ~/.local/state/quendra naming ~/.config/quendra/Quendra.ini"
  stop_offscreen
  [ "$(stat -c %a "$home/.local/state/quendra")" = 700 ] || fail "the state folder is not private"
  [ ! -e "$out/relative" ] || fail "a relative XDG_STATE_HOME was used"

  # From the menu with XDG folders that do not exist yet: both are made, and
  # the menu entry's arguments reach the phone.
  XDG_CONFIG_HOME=$out/xdg-config XDG_STATE_HOME=$out/xdg-state \
    start_offscreen menu-xdg "$out" "$root/usr/libexec/quendra/menu-start" -debug -user7003
  wait_for_log 100 "$out/xdg-state/quendra/Quendra7003-*.log" \
    "IAX config file name = [$out/xdg-config/quendra/Quendra.ini]" \
    || fail "no debug log in \$XDG_STATE_HOME/quendra naming \$XDG_CONFIG_HOME/quendra/Quendra.ini"
  stop_offscreen
  [ "$(stat -c %a "$out/xdg-config/quendra")" = 700 ] || fail "the config folder was not made private"
  echo "terminal and desktop-menu starts use the working folder and the XDG folders"
}

check_window() {
  export HOME=$out/home
  mkdir -p "$HOME"
  unset XDG_CONFIG_HOME XDG_STATE_HOME
  export PATH="$root/usr/bin:$PATH"
  local exec_line
  exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/quendra.desktop")
  [[ "$exec_line" = /usr/* ]] || fail "the desktop entry's Exec is not a program under /usr: $exec_line"
  start_xvfb 640x480x24
  # shellcheck disable=SC2086  # the Exec line is split into words as a desktop does
  window_round_trip "IAX2 Soft Phone v$version" "$out" $root$exec_line
  [ -d "$HOME/.config/quendra" ] && [ -d "$HOME/.local/state/quendra" ] \
    || fail "the first start from the menu did not make the XDG folders"
  echo "the desktop entry's command shows the window and exits with status 0"
}

check_desktop_entry() {
  local entry=$root/usr/share/applications/quendra.desktop
  desktop-file-validate "$entry" || fail "desktop-file-validate reported problems"
  grep -qx 'Categories=Network;Telephony;Qt;' "$entry" || fail "the categories are not Network and Telephony"
  local icon exec try
  icon=$(sed -n 's/^Icon=//p' "$entry")
  exec=$(sed -n 's/^Exec=//p' "$entry")
  try=$(sed -n 's/^TryExec=//p' "$entry")
  for size in 16 22 24 32 48 64 128 256; do
    local png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png
    [ -f "$png" ] || fail "no $size pixel icon $icon"
    [ "$(identify -format '%wx%h' "$png")" = "${size}x${size}" ] || fail "the $size pixel icon has another size"
  done
  [ -x "$root${exec%% *}" ] || fail "Exec names no program in the package: $exec"
  [ -x "$root/usr/bin/$try" ] || fail "TryExec names no program in /usr/bin: $try"
  echo "desktop entry valid; its icon, command and TryExec are in the package"
}

check_metainfo() {
  local file=$root/usr/share/metainfo/org.quendra.quendra.metainfo.xml
  appstreamcli validate --no-net "$file" || fail "appstreamcli reported problems"
  grep -qF "<release version=\"$version\"" "$file" || fail "the metainfo's release is not $version"
  local desktop
  desktop=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$file")
  [ -f "$root/usr/share/applications/$desktop" ] || fail "the launchable $desktop is not in the package"
  echo "metainfo valid, release $version"
}

# keys_documented KIND COUNT EXAMPLE AFTER KEY...: the source has COUNT keys
# of this kind, and each is named in the rendered page ($out/quendra.txt) and
# stands, maybe commented out, at the start of a line of the example file,
# followed by AFTER.
keys_documented() {
  local kind=$1 expected=$2 example=$3 after=$4 key; shift 4
  [ "$#" = "$expected" ] || fail "found $# $kind keys in the source, not $expected"
  for key in "$@"; do
    grep -qw -- "$key" "$out/quendra.txt" || fail "the page lacks the $kind key $key"
    grep -qE "^#?$key$after" "$example" || fail "$(basename "$example") lacks the $kind key $key"
  done
}

check_man_pages() {
  local page warnings
  for page in quendra quendra-labpbx quendra-labpbx-ctl; do
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
      man --warnings -E UTF-8 -l -Tutf8 -Z "$root/usr/share/man/man1/$page.1.gz" 2>&1 > /dev/null)
    [ -z "$warnings" ] || fail "man warns about $page.1: $warnings"
  done
  MANWIDTH=200 man -l "$root/usr/share/man/man1/quendra.1.gz" 2> /dev/null > "$out/quendra.txt"
  local examples=$root/usr/share/doc/quendra/examples key
  for key in -debug -host -user -pass -init -agid -opto -aa; do
    grep -qE -- "(^|[^a-z])$key" "$out/quendra.txt" || fail "the page lacks the switch $key"
  done
  keys_documented "options-file" 54 "$examples/Quendra.ini" '=' $(phone_keys)
  keys_documented "opt-out" 13 "$examples/optout.cfg" '' $(optout_keys)
  for section in SYNOPSIS OPTIONS "OPTIONS FILE" "STARTED FROM THE DESKTOP MENU" ENVIRONMENT FILES EXAMPLES; do
    grep -qx "$section" "$out/quendra.txt" || fail "quendra.1 has no $section section"
  done
  MANWIDTH=200 man -l "$root/usr/share/man/man1/quendra-labpbx.1.gz" 2> /dev/null > "$out/labpbx.txt"
  for section in SYNOPSIS OPTIONS CONFIGURATION "CONTROL COMMANDS" ENVIRONMENT FILES EXAMPLES; do
    grep -qx "$section" "$out/labpbx.txt" || fail "quendra-labpbx.1 has no $section section"
  done
  echo "man pages render without warnings and name every switch and key"
}

# The maintainer scripts on a scratch driver list (ODBCSYSINI), with dpkg
# answering for driver packages whose libraries are scratch files.
check_maintainer_scripts() {
  export ODBCSYSINI=$out/odbc
  local libs=$out/lib fake=$out/fake-bin
  mkdir -p "$ODBCSYSINI" "$libs" "$fake"
  touch "$libs/libmaodbc.so" "$libs/libtdsodbc.so"
  cat > "$fake/dpkg" <<EOF
#!/bin/sh
# dpkg -L <package>: the packages named in $out/installed are installed.
[ "\$1" = -L ] && grep -qx "\$2" "$out/installed" || exit 1
case "\$2" in
  odbc-mariadb) echo "$libs/libmaodbc.so" ;;
  tdsodbc) echo "$libs/libtdsodbc.so" ;;
esac
EOF
  chmod +x "$fake/dpkg"
  export PATH="$fake:$PATH"
  printf '[SQL Server]\nDescription=an administrator'"'"'s own\nDriver=/opt/other/libsqlsrv.so\nUsageCount=1\n\n[Other]\nDescription=untouched\nDriver=/opt/other/libother.so\nUsageCount=1\n' \
    > "$ODBCSYSINI/odbcinst.ini"
  # A name's entry without its [name] line; nothing for a name not registered
  # (odbcinst then prints its complaint on standard output, with status 1).
  entry() {
    local text
    text=$(odbcinst -q -d -n "$1" 2> /dev/null) || return 0
    grep -v '^\[' <<< "$text" || true
  }

  printf 'odbc-mariadb\ntdsodbc\n' > "$out/installed"
  "$control/postinst" configure > "$out/postinst.out"
  entry "MySQL ODBC 3.51 Driver" | grep -qx "Driver=$libs/libmaodbc.so" || fail "MySQL ODBC 3.51 Driver not registered"
  entry "MySQL Connector/ODBC v5" | grep -qx "Driver=$libs/libmaodbc.so" || fail "MySQL Connector/ODBC v5 not registered"
  entry "SQL Server" | grep -qx "Driver=/opt/other/libsqlsrv.so" || fail "another's SQL Server entry was changed"
  local once
  once=$(cat "$ODBCSYSINI/odbcinst.ini")
  "$control/postinst" configure > /dev/null
  [ "$(cat "$ODBCSYSINI/odbcinst.ini")" = "$once" ] || fail "a second configure changed the driver list"

  # The MariaDB driver package goes: its names go with it.
  echo tdsodbc > "$out/installed"
  "$control/postinst" triggered "$(sed -n 's/^interest-noawait //p' "$control/triggers")" > /dev/null
  [ -z "$(entry "MySQL ODBC 3.51 Driver")" ] || fail "a name stayed registered after its driver went"
  # The administrator's own SQL Server entry goes; ours takes the name.
  odbcinst -u -d -n "SQL Server" > /dev/null
  printf 'odbc-mariadb\ntdsodbc\n' > "$out/installed"
  "$control/postinst" triggered > /dev/null
  entry "SQL Server" | grep -qx "Driver=$libs/libtdsodbc.so" || fail "SQL Server not registered on FreeTDS"
  entry "SQL Server" | grep -qx "Port=1433" || fail "SQL Server registered without its port"

  # Removal keeps the names; purge takes away exactly what the package added.
  "$control/postrm" remove > /dev/null
  [ -n "$(entry "SQL Server")" ] || fail "remove took the registration away"
  "$control/postrm" purge > "$out/purge.out"
  local after expected
  after=$(odbcinst -q -d)
  expected="[Other]"
  [ "$after" = "$expected" ] || fail "after purge the driver list is \"$after\", not \"$expected\""
  grep -qx 'Driver=/opt/other/libother.so' <<< "$(entry Other)" || fail "the Other entry was changed"
  echo "postinst registers only installed drivers' names, never over another's; purge removes only its own"
}

check_lintian() {
  lintian --fail-on error --display-info "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$out/lintian.out"
  local status=${PIPESTATUS[0]}
  [ "$status" = 0 ] || fail "lintian reported errors"
  echo "lintian: no errors"
}

case "$check" in
  build | files | offscreen_starts | window | desktop_entry | metainfo | man_pages | maintainer_scripts | lintian)
    "check_$check" ;;
  *) echo "unknown check $check" >&2; exit 2 ;;
esac
