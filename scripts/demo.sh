#!/usr/bin/env bash
# The demo: installs what is missing, builds the program, the two libraries
# and the recorder simulator, starts the simulator on a free loopback port,
# writes a device list holding "Demo recorder" into a configuration
# directory of its own (build/demo/config; the user's own list and keyring
# are never touched) and opens ORVIX on it. Press Connect, then OK, for live
# video. The simulator stops when ORVIX is closed.
#
# Needs a display; on a machine without one: xvfb-run -a bash scripts/demo.sh
# `bash scripts/demo.sh --channels 16` makes the demo recorder one of 16
# cameras (9 for 9); it has 4 otherwise.
set -euo pipefail
channels=4
if [ "${1:-}" = "--channels" ] && [ -n "${2:-}" ]; then channels=$2; fi
cd "$(dirname "$0")/.."
root=$PWD

bash scripts/install-deps.sh

build=$root/build/release
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVIX_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target orvix tlset nodra orvix-recorder-sim orvix-demo-store

demo=$root/build/demo
mkdir -p "$demo/config"
sim_out=$demo/recorder-sim.out
: >"$sim_out"

# Port 0: the system picks a free port, which the simulator prints.
"$build/bin/orvix-recorder-sim" --port 0 --channels "$channels" --log "$demo/recorder-sim.log" >"$sim_out" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT

port=
for _ in $(seq 1 100); do
  port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$sim_out")
  [ -n "$port" ] && break
  if ! kill -0 "$sim_pid" 2>/dev/null; then
    echo "the recorder simulator did not start:" >&2
    cat "$sim_out" >&2
    exit 1
  fi
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "the recorder simulator did not say which port it listens on" >&2
  exit 1
fi

export XDG_CONFIG_HOME=$demo/config
# Nor is the desktop's keyring: without a session bus the demo recorder's
# password stays in the demo's own device list file.
export DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/orvix-demo-no-bus
"$build/bin/orvix-demo-store" --name "Demo recorder" --address 127.0.0.1 --port "$port" \
  --account admin --password 1234 --stream mpeg4
echo "recorder simulator on 127.0.0.1:$port (commands it receives: $demo/recorder-sim.log)"
echo "starting ORVIX: press Connect, then OK"
"$build/bin/orvix"
