#!/usr/bin/env bash
# Runs a program against the Windows stage's simulator (VMLCMD_SIM_CONTROL) put back to its
# first state: the device tests before it stop its listener and leave their accounts and faults
# there. The program finds the device's port in VMLCMD_SIM_PORT, as the listener may have moved.
#   with-fresh-sim.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
control=${VMLCMD_SIM_CONTROL:?VMLCMD_SIM_CONTROL must name the control channel of the simulator}
exec 3<>"/dev/tcp/${control%:*}/${control##*:}"
ask() {
  printf '%s\n' "$1" >&3
  read -r answer <&3
  case $answer in
    *'"ok":true'*) ;;
    *) echo "with-fresh-sim: the simulator refused $1: $answer" >&2; exit 2 ;;
  esac
}
ask '{"op":"start-listening"}'
port=$(sed -n 's/.*"port":\([0-9]*\).*/\1/p' <<<"$answer")
ask '{"op":"reset"}'
exec 3<&-
[ -n "$port" ] || { echo "with-fresh-sim: no port in the simulator's answer" >&2; exit 2; }
VMLCMD_SIM_PORT=$port exec "$@"
