#!/usr/bin/env bash
# A throw-away MariaDB server for the Do-Not-Call tests and benchmark.
#   mariadb.sh start <state folder> <env file>
#   mariadb.sh stop  <state folder> <env file>
# start: creates a data folder under <state folder>/mariadb, runs the server on
# 127.0.0.1 at a free port (and a socket in the state folder), creates the
# test database, its user and the dnc_list table, and appends the
# QUENDRA_TEST_MYSQL_* variables to <env file>.
# stop: shuts the server down and removes its data folder.
set -euo pipefail

action=${1:-}
state_root=${2:-}
env_file=${3:-}
if [ -z "$action" ] || [ -z "$state_root" ] || [ -z "$env_file" ]; then
  echo "usage: $0 start|stop <state folder> <env file>" >&2
  exit 2
fi

dir="$state_root/mariadb"
socket="$dir/mysqld.sock"
pid_file="$dir/mysqld.pid"
database=quendra_dnc
db_user=quendra
db_password=dnc-test-pw

# A port on 127.0.0.1 that nothing listens on (bash's /dev/tcp connects
# only when something does).
free_port() {
  local port
  for _ in $(seq 1 50); do
    port=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      echo "$port"
      return 0
    fi
  done
  return 1
}

run_as=()
[ "$(id -u)" -eq 0 ] && run_as=(--user=root)

client() {
  mariadb --no-defaults --protocol=socket --socket="$socket" -uroot "$@"
}

stop_server() {
  [ -f "$pid_file" ] || return 0
  local pid
  pid=$(cat "$pid_file" 2>/dev/null || true)
  [ -n "$pid" ] || return 0
  mariadb-admin --no-defaults --protocol=socket --socket="$socket" -uroot shutdown \
    >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || return 0
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
}

start() {
  if ! command -v mariadbd >/dev/null || ! command -v mariadb-install-db >/dev/null; then
    echo "mariadb.sh: MariaDB server not installed; database tests will be skipped" >&2
    return 0
  fi
  stop_server
  rm -rf "$dir"
  mkdir -p "$dir/data" "$dir/tmp"

  mariadb-install-db --no-defaults "${run_as[@]}" --datadir="$dir/data" \
    --auth-root-authentication-method=socket --skip-test-db > "$dir/install.log" 2>&1 \
    || { cat "$dir/install.log" >&2; return 1; }

  # A port taken between the probe and the bind makes the server exit:
  # try another.
  local port="" attempt pid
  for attempt in 1 2 3; do
    port=$(free_port) || { echo "mariadb.sh: no free port" >&2; return 1; }
    mariadbd --no-defaults "${run_as[@]}" --datadir="$dir/data" --tmpdir="$dir/tmp" \
      --socket="$socket" --pid-file="$pid_file" --log-error="$dir/error.log" \
      --skip-networking=0 --bind-address=127.0.0.1 --port="$port" \
      --innodb-buffer-pool-size=64M --skip-name-resolve > /dev/null 2>&1 &
    pid=$!
    disown || true
    for _ in $(seq 1 600); do
      client -e "SELECT 1" >/dev/null 2>&1 && break 2
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    echo "mariadb.sh: server did not start (attempt $attempt)" >&2
    kill "$pid" 2>/dev/null || true
  done
  client -e "SELECT 1" >/dev/null 2>&1 \
    || { echo "mariadb.sh: server did not start" >&2; cat "$dir/error.log" >&2; return 1; }

  client <<EOF
CREATE DATABASE $database;
CREATE USER '$db_user'@'127.0.0.1' IDENTIFIED BY '$db_password';
CREATE USER '$db_user'@'localhost' IDENTIFIED BY '$db_password';
GRANT ALL PRIVILEGES ON $database.* TO '$db_user'@'127.0.0.1';
GRANT ALL PRIVILEGES ON $database.* TO '$db_user'@'localhost';
CREATE TABLE $database.dnc_list (
  id INT AUTO_INCREMENT PRIMARY KEY,
  dnc_phone VARCHAR(32) NOT NULL,
  INDEX dnc_phone_index (dnc_phone)
);
EOF

  {
    echo "export QUENDRA_TEST_MYSQL_HOST=127.0.0.1"
    echo "export QUENDRA_TEST_MYSQL_PORT=$port"
    echo "export QUENDRA_TEST_MYSQL_USER=$db_user"
    echo "export QUENDRA_TEST_MYSQL_PASSWORD=$db_password"
    echo "export QUENDRA_TEST_MYSQL_DATABASE=$database"
  } >> "$env_file"
  echo "mariadb.sh: MariaDB on 127.0.0.1:$port (database $database)"
}

stop() {
  stop_server
  rm -rf "$dir"
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop <state folder> <env file>" >&2; exit 2 ;;
esac
