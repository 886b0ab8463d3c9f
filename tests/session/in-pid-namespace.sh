#!/usr/bin/env bash
# Runs a command in a pid namespace of its own, with its own /proc, so that it may choose the
# next pid the kernel hands out (/proc/sys/kernel/ns_last_pid) without touching the machine's
# processes. Root creates the namespace directly; anyone else through a user namespace of their
# own, where they are root. Sets KLOSIA_PRIVATE_PID_NAMESPACE=1 for the command.
#
#   in-pid-namespace.sh COMMAND [ARGS...]
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: ${0##*/} COMMAND [ARGS...]" >&2; exit 2; }
export KLOSIA_PRIVATE_PID_NAMESPACE=1
if [ "$(id -u)" -eq 0 ]; then
    exec unshare --pid --fork --mount-proc -- "$@"
fi
exec unshare --user --map-root-user --pid --fork --mount-proc -- "$@"
