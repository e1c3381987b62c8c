#!/usr/bin/env bash
# Registers the ODBC driver names that the Do-Not-Call connection strings use:
#   "MySQL ODBC 3.51 Driver" and "MySQL Connector/ODBC v5" on MariaDB
#   Connector/ODBC (Debian odbc-mariadb), and "SQL Server" on FreeTDS (Debian
#   tdsodbc) with the port and protocol version that a Microsoft SQL Server
#   needs, since the connection string carries neither.
# Idempotent: a name already registered with the same settings is left alone;
# one registered differently is updated. Needs root for the system-wide
# driver list (/etc/odbcinst.ini).
set -euo pipefail

if ! command -v odbcinst >/dev/null; then
  echo "register-odbc-drivers: odbcinst not found (install unixodbc)" >&2
  exit 1
fi

# The driver library a Debian package installs, found by its file name.
library_of() {
  local package=$1 file=$2
  dpkg -L "$package" 2>/dev/null | grep -m1 "/$file\$" || true
}

mariadb_lib=$(library_of odbc-mariadb libmaodbc.so)
freetds_lib=$(library_of tdsodbc libtdsodbc.so)

tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT

# register NAME then KEY=VALUE lines: installs or updates the driver entry.
register() {
  local name=$1; shift
  local wanted current
  wanted=$(printf '%s\n' "$@" | sort)
  current=$(odbcinst -q -d -n "$name" 2>/dev/null | tail -n +2 \
              | grep -v -i '^UsageCount=' | sed 's/[[:space:]]*=[[:space:]]*/=/' | sort || true)
  if [ "$current" = "$wanted" ]; then
    echo "register-odbc-drivers: \"$name\" already registered"
    return 0
  fi
  { echo "[$name]"; printf '%s\n' "$@"; } > "$tmp"
  odbcinst -i -d -f "$tmp" > /dev/null
  echo "register-odbc-drivers: \"$name\" registered"
}

if [ -n "$mariadb_lib" ]; then
  for name in "MySQL ODBC 3.51 Driver" "MySQL Connector/ODBC v5"; do
    register "$name" \
      "Description=$name name served by MariaDB Connector/ODBC" \
      "Driver=$mariadb_lib" \
      "Threading=0"
  done
else
  echo "register-odbc-drivers: odbc-mariadb not installed; MySQL driver names not registered" >&2
fi

if [ -n "$freetds_lib" ]; then
  register "SQL Server" \
    "Description=SQL Server name served by FreeTDS" \
    "Driver=$freetds_lib" \
    "Port=1433" \
    "TDS_Version=7.4"
else
  echo "register-odbc-drivers: tdsodbc not installed; SQL Server driver name not registered" >&2
fi
