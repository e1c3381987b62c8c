#!/bin/bash
# Registers the ODBC driver names that the Do-Not-Call connection strings use:
#   "MySQL ODBC 3.51 Driver" and "MySQL Connector/ODBC v5" on MariaDB
#   Connector/ODBC (Debian odbc-mariadb), and "SQL Server" on FreeTDS (Debian
#   tdsodbc) with the port and protocol version that a Microsoft SQL Server
#   needs, since the connection string carries neither.
#
#   register-odbc-drivers.sh [register|unregister]
#
# register (the default): a name is registered only while its driver package's
# library is installed; a registration of ours whose library has gone is
# removed. unregister: removes the registrations of ours.
# A registration is ours when it carries the description written here. One of
# anyone else's under the same name is never changed nor removed, and no other
# entry of the system's ODBC set-up is touched. Idempotent.
#
# The package uses this script as its postinst and postrm as well, so it also
# takes the maintainer-script actions: configure and triggered (a driver
# package was installed or removed) register, purge unregisters, the others
# do nothing. The package's registrations carry a description of their own,
# so that purging the package leaves alone a name that was registered before
# it (by a run of this script from the source tree, or by an administrator).
#
# Needs root for the system-wide driver list (/etc/odbcinst.ini, or the
# folder ODBCSYSINI names).
set -euo pipefail

action=${1:-register}
registrant=""
case "$action" in
  register | unregister) ;;
  configure | triggered) action=register registrant=" (Quendra package)" ;;
  purge) action=unregister registrant=" (Quendra package)" ;;
  remove | upgrade | failed-upgrade | abort-install | abort-upgrade | abort-remove \
    | abort-deconfigure | disappear) exit 0 ;;
  *)
    echo "usage: register-odbc-drivers.sh [register|unregister]" >&2
    exit 2
    ;;
esac

if ! command -v odbcinst > /dev/null; then
  # The driver packages need odbcinst, so without it there is nothing
  # registered and nothing to register.
  echo "register-odbc-drivers: odbcinst not found (unixODBC not installed); nothing to do"
  exit 0
fi

# The driver library a Debian package has installed, found by its file name.
library_of() {
  local package=$1 file=$2 path
  path=$(dpkg -L "$package" 2> /dev/null | grep -m1 "/$file\$" || true)
  if [ -n "$path" ] && [ -e "$path" ]; then echo "$path"; fi
}

# The entry of a driver name: its key=value lines, sorted, without the usage
# count; nothing when the name is not registered.
# (odbcinst reports a missing name on standard output, with status 1.)
entry_of() {
  local text
  text=$(odbcinst -q -d -n "$1" 2> /dev/null) || return 0
  tail -n +2 <<< "$text" | grep -v -i '^UsageCount[[:space:]]*=' \
    | sed 's/[[:space:]]*=[[:space:]]*/=/' | grep . | sort || true
}

usage_count_of() {
  local text count
  text=$(odbcinst -q -d -n "$1" 2> /dev/null) || text=""
  count=$(sed -n 's/^UsageCount[[:space:]]*=[[:space:]]*//Ip' <<< "$text" | head -1)
  case "$count" in
    '' | *[!0-9]*) echo 1 ;;
    *) echo "$count" ;;
  esac
}

description_for() { echo "$1 name served by $2$registrant"; }

# Removes a name whatever its usage count: odbcinst takes one count a call.
remove_entry() {
  local name=$1 count
  count=$(usage_count_of "$name")
  for _ in $(seq "$count"); do
    odbcinst -u -d -n "$name" > /dev/null
  done
}

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT

# register NAME SERVER LIBRARY [KEY=VALUE...]: installs the entry, or brings
# an entry of ours up to date; an entry of anyone else's is left alone.
register() {
  local name=$1 server=$2 library=$3; shift 3
  local description wanted current
  description=$(description_for "$name" "$server")
  wanted=$(printf '%s\n' "Description=$description" "Driver=$library" "$@" | sort)
  current=$(entry_of "$name")
  if [ "$current" = "$wanted" ]; then
    echo "register-odbc-drivers: \"$name\" already registered"
    return 0
  fi
  if [ -n "$current" ]; then
    if ! grep -qxF "Description=$description" <<< "$current"; then
      echo "register-odbc-drivers: \"$name\" is registered by someone else; left as it is"
      return 0
    fi
    remove_entry "$name"
  fi
  { echo "[$name]"; printf '%s\n' "Description=$description" "Driver=$library" "$@"; } > "$tmp"
  odbcinst -i -d -f "$tmp" > /dev/null
  echo "register-odbc-drivers: \"$name\" registered"
}

# unregister NAME SERVER: removes the entry if it is ours.
unregister() {
  local name=$1 server=$2 current
  current=$(entry_of "$name")
  [ -n "$current" ] || return 0
  if grep -qxF "Description=$(description_for "$name" "$server")" <<< "$current"; then
    remove_entry "$name"
    echo "register-odbc-drivers: \"$name\" unregistered"
  fi
}

# For each name: the server text of its description, the driver package and
# library, and the settings besides Driver.
mariadb="MariaDB Connector/ODBC"
freetds="FreeTDS"
for_each_name() {
  local step=$1
  "$step" "MySQL ODBC 3.51 Driver" "$mariadb" odbc-mariadb libmaodbc.so "Threading=0"
  "$step" "MySQL Connector/ODBC v5" "$mariadb" odbc-mariadb libmaodbc.so "Threading=0"
  "$step" "SQL Server" "$freetds" tdsodbc libtdsodbc.so "Port=1433" "TDS_Version=7.4"
}

register_step() {
  local name=$1 server=$2 package=$3 file=$4; shift 4
  local library
  library=$(library_of "$package" "$file")
  if [ -n "$library" ]; then
    register "$name" "$server" "$library" "$@"
  else
    echo "register-odbc-drivers: $package not installed; \"$name\" not registered"
    unregister "$name" "$server"
  fi
}

unregister_step() { unregister "$1" "$2"; }

for_each_name "${action}_step"
