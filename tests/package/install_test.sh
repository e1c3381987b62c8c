#!/usr/bin/env bash
# Installs the package on this machine for real and takes it off again:
#   install_test.sh <build folder> <version>
# dpkg -i, quendra from PATH under Xvfb to its window and out, remove, purge;
# the system's ODBC driver list (odbcinst -q -d, each entry in full) must be
# the same afterwards as before. Runs only as root with
# QUENDRA_PACKAGE_INSTALL_TEST=1 (it changes the machine); otherwise it exits
# with 77, which CTest counts as skipped. A quendra package that is already
# installed is not touched: the test fails instead.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
deb=$build/quendra_${version}_amd64.deb
out=$build/package-test/install
if [ "${QUENDRA_PACKAGE_INSTALL_TEST:-}" != 1 ] || [ "$(id -u)" != 0 ]; then
  echo "skipped: installs the package for real; run as root with QUENDRA_PACKAGE_INSTALL_TEST=1"
  exit 77
fi
# shellcheck source=SCRIPTDIR/phone_runs.sh
source "$(dirname "$0")/phone_runs.sh"
harness_begin package.install "$out"

status_of_quendra() { dpkg-query -W -f='${Status}' quendra 2> /dev/null || true; }
installed() { [[ "$(status_of_quendra)" = *" installed" ]]; }
# Known to dpkg in any state but purged (installed, or its configuration left).
known() { local s; s=$(status_of_quendra); [ -n "$s" ] && [[ "$s" != *not-installed ]]; }

if known; then
  echo "a quendra package is already on this machine ($(dpkg-query -W -f='${Status} ${Version}' quendra)); not touched" >&2
  exit 1
fi
[ -f "$deb" ] || { echo "no $deb: run package.build first" >&2; exit 1; }

# The folder the package's trigger watches.
odbc_driver_dir=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./triggers | sed -n 's/^interest-noawait //p')
[ -n "$odbc_driver_dir" ] || { echo "the package has no trigger on the ODBC driver folder" >&2; exit 1; }

# Every registered driver name with its whole entry.
odbc_state() {
  local name
  odbcinst -q -d 2> /dev/null | sed -n 's/^\[\(.*\)\]$/\1/p' | while IFS= read -r name; do
    odbcinst -q -d -n "$name"
  done
}

we_installed=0
probe_installed=0
remove_packages() {
  if [ "$probe_installed" = 1 ]; then dpkg -P quendra-trigger-probe || true; fi
  if [ "$we_installed" = 1 ] && known; then
    echo "-- cleaning up: purging the package"
    dpkg -P quendra || true
  fi
}
at_exit remove_packages

echo "== ODBC drivers before (odbcinst -q -d)"
odbcinst -q -d || true
before=$(odbc_state)

echo "== dpkg -i $(basename "$deb")"
we_installed=1
dpkg -i "$deb" 2>&1 || fail "dpkg -i failed"
installed || fail "the package is not installed after dpkg -i"
echo "== after install: registered drivers"
odbcinst -q -d || true
[ "$(command -v quendra)" = /usr/bin/quendra ] || fail "quendra on PATH is $(command -v quendra || echo nothing)"
for program in quendra-labpbx quendra-labpbx-ctl; do
  command -v "$program" > /dev/null || fail "$program is not on PATH"
done
man -w quendra > /dev/null || fail "man does not find quendra's page"
desktop-file-validate /usr/share/applications/quendra.desktop || fail "the installed desktop entry is not valid"

echo "== quendra from PATH under Xvfb"
start_xvfb 640x480x24
folder=$out/working-folder
mkdir -p "$folder"
window_round_trip "IAX2 Soft Phone v$version" "$folder" quendra
echo "window \"IAX2 Soft Phone v$version\" shown; Exit answered Yes; status 0"
stop_children

echo "== dpkg -r quendra"
dpkg -r quendra 2>&1 || fail "dpkg -r failed"
[ ! -e /usr/bin/quendra ] || fail "/usr/bin/quendra is still there after removal"
echo "== dpkg -P quendra"
dpkg -P quendra 2>&1 || fail "dpkg -P failed"
known && fail "the package is still known to dpkg after purge"
we_installed=0

echo "== ODBC drivers after (odbcinst -q -d)"
odbcinst -q -d || true
after=$(odbc_state)
if [ "$before" != "$after" ]; then
  diff <(echo "$before") <(echo "$after") || true
  fail "the ODBC driver list changed"
fi
echo "ODBC driver list the same as before, entry by entry"

# Once more with the driver list in a scratch folder (dpkg passes ODBCSYSINI
# on to the maintainer scripts), empty as on a fresh desktop: the package
# registers the names of the installed drivers and its purge takes them away.
echo "== with an empty driver list (ODBCSYSINI=$out/odbc): dpkg -i, dpkg -P"
export ODBCSYSINI=$out/odbc
mkdir -p "$ODBCSYSINI"
: > "$ODBCSYSINI/odbcinst.ini"
we_installed=1
dpkg -i "$deb" 2>&1 || fail "dpkg -i failed"
odbcinst -q -d || true
for name in "MySQL ODBC 3.51 Driver" "MySQL Connector/ODBC v5" "SQL Server"; do
  package=tdsodbc
  [ "$name" = "SQL Server" ] || package=odbc-mariadb
  if dpkg-query -W -f='${Status}' "$package" 2> /dev/null | grep -q ' installed$'; then
    odbcinst -q -d -n "$name" > /dev/null || fail "\"$name\" not registered though $package is installed"
  fi
done

# A package that puts a file in the ODBC driver folder, as a driver package
# installed later does, sets off the package's trigger: postinst runs again.
echo "== a package with a file in the ODBC driver folder, installed and purged"
probe=$out/probe
mkdir -p "$probe/DEBIAN" "$probe$odbc_driver_dir"
printf 'Package: quendra-trigger-probe\nVersion: 1\nArchitecture: all\nMaintainer: %s\nDescription: %s\n' \
  "$(dpkg-deb -f "$deb" Maintainer)" "stands in for an ODBC driver package in the install test" > "$probe/DEBIAN/control"
echo "not a driver" > "$probe$odbc_driver_dir/quendra-trigger-probe.txt"
dpkg-deb -b --root-owner-group "$probe" "$out/probe.deb" > /dev/null
probe_installed=1
dpkg -i "$out/probe.deb" > "$out/probe-install.out" 2>&1 || { cat "$out/probe-install.out"; fail "the probe package did not install"; }
cat "$out/probe-install.out"
dpkg -P quendra-trigger-probe 2>&1 || fail "the probe package did not purge"
probe_installed=0
grep -q '^Processing triggers for quendra ' "$out/probe-install.out" || fail "the driver folder's trigger did not run"

dpkg -P quendra 2>&1 || fail "dpkg -P failed"
we_installed=0
[ -z "$(odbcinst -q -d 2> /dev/null | grep '^\[' || true)" ] || fail "the purge left driver names behind"
echo "the package registered the installed drivers' names and its purge removed them"
echo "install test passed"
