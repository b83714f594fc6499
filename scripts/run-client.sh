#!/usr/bin/env bash
# Builds the client and runs it.
#   scripts/run-client.sh               against the bundled device simulator,
#                                       started on a free loopback port and
#                                       stopped when the client ends
#   scripts/run-client.sh HOST PORT     against the server at HOST PORT
# SIM_OPTIONS passes options to the simulator (for example "--speed 100");
# its traffic log is written to build/talvoW6Sim.log.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh >&2
cmake --preset default >/dev/null
cmake --build --preset default --target talvoW6Client talvoW6Sim >/dev/null

if [ $# -gt 0 ]; then
  exec build/console/talvoW6Client "$@"
fi

log=build/talvoW6Sim.log
# shellcheck disable=SC2086  # SIM_OPTIONS is a list of options
build/simulator/talvoW6Sim --listen 127.0.0.1:0 --log ${SIM_OPTIONS:-} >"$log" 2>&1 &
sim=$!
trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT

# The first line names the address and the port that was picked.
port=""
for _ in $(seq 100); do
  port=$(sed -n '1s/.*127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
  [ -n "$port" ] && break
  kill -0 "$sim" 2>/dev/null || { cat "$log" >&2; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "the simulator did not start" >&2; exit 1; }
echo "Device simulator on 127.0.0.1:$port (traffic log: $log)" >&2

status=0
build/console/talvoW6Client 127.0.0.1 "$port" || status=$?
exit "$status"
