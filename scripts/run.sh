#!/usr/bin/env bash
# Installs what is needed, builds Quendra and the lab PBX, starts the lab PBX
# in the background (labpbx/lab.conf) and runs the phone configured for it
# (packaging/quendra-lab.ini). Any arguments are passed to the phone (for
# example -debug). The lab PBX is stopped when the phone exits.
# LABPBX_DEMO=<seconds> makes the lab PBX place a demonstration call to the
# phone every so many seconds. QUENDRA_DIALECT=queues runs both in the queue
# dialect of the manager link (the agent joins the queue "sales").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > build.configure.log 2>&1 \
  || { cat build.configure.log; exit 1; }
cmake --build build -j "$(nproc)" --target quendra labpbx labpbx-ctl

demo_args=()
[ -n "${LABPBX_DEMO:-}" ] && demo_args=(--demo "$LABPBX_DEMO")
lab_conf=labpbx/lab.conf
phone_ini=$root/packaging/quendra-lab.ini
case "${QUENDRA_DIALECT:-classic}" in
  classic) ;;
  queues)
    lab_conf=build/lab-queues.conf
    sed 's/^managerdialect = classic/managerdialect = queues/' labpbx/lab.conf > "$lab_conf"
    phone_ini=$root/build/quendra-lab-queues.ini
    { cat packaging/quendra-lab.ini; printf 'acmDialect=queues;\nacmQueues=sales;\n'; } > "$phone_ini"
    ;;
  *) echo "QUENDRA_DIALECT must be classic or queues" >&2; exit 2 ;;
esac
build/labpbx/pbx/labpbx -c "$lab_conf" "${demo_args[@]}" > build/labpbx.log 2>&1 &
labpbx_pid=$!
stop_labpbx() { kill "$labpbx_pid" 2>/dev/null && wait "$labpbx_pid" 2>/dev/null || true; }
trap stop_labpbx EXIT

# Wait for the control interface to answer before starting the phone.
for _ in $(seq 50); do
  build/labpbx/pbx/labpbx-ctl -p 5039 stats > /dev/null 2>&1 && break
  if ! kill -0 "$labpbx_pid" 2>/dev/null; then
    echo "the lab PBX did not start:" >&2
    cat build/labpbx.log >&2
    exit 1
  fi
  sleep 0.1
done
cat build/labpbx.log

build/program/quendra "-init$phone_ini" "$@"
