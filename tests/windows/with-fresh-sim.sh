#!/usr/bin/env bash
# Runs a program against the Windows stage's simulator (VMLCMD_SIM_CONTROL, VMLCMD_SIM_PORT)
# after putting the simulator back to its first state: the device tests before it leave their
# accounts, ports and faults there.
#   with-fresh-sim.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
control=${VMLCMD_SIM_CONTROL:?VMLCMD_SIM_CONTROL must name the control channel of the simulator}
exec 3<>"/dev/tcp/${control%:*}/${control##*:}"
printf '{"op":"reset"}\n' >&3
read -r answer <&3
exec 3<&-
case $answer in
  *'"ok":true'*) ;;
  *) echo "with-fresh-sim: the simulator refused the reset: $answer" >&2; exit 2 ;;
esac
exec "$@"
