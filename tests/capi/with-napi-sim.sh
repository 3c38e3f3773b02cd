#!/usr/bin/env bash
# Runs a program against a napi-sim process on 127.0.0.1 and stops the simulator afterwards.
# VMLCMD_SIM_PORT names the first simulated device's port, VMLCMD_SIM_PORTS all of them
# (comma-separated). Usage: with-napi-sim.sh NAPI_SIM [--devices N] PROGRAM [ARGUMENTS...]
set -euo pipefail
sim=$1
shift
devices=1
if [ "${1:-}" = "--devices" ]; then
  devices=$2
  shift 2
fi
folder=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; [ -n "$pid" ] && wait "$pid" 2>/dev/null; rm -rf "$folder"' EXIT
mkfifo "$folder/out"
"$sim" --port 0 --devices "$devices" >"$folder/out" &
pid=$!
exec 3<"$folder/out"
read -r line <&3 # napi-sim listening on 127.0.0.1:PORT
port=${line##*:}
ports=$port
if [ "$devices" -gt 1 ]; then
  read -r line <&3 # napi-sim devices: N on ports A,B,...
  ports=${line##* ports }
fi
export VMLCMD_SIM_PORT=$port VMLCMD_SIM_PORTS=$ports
"$@" 3<&-
