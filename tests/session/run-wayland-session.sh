#!/usr/bin/env bash
# Runs a command inside a private headless Wayland desktop: sway with its headless backend, on a
# D-Bus session bus of its own, with XDG directories in a temporary directory. sway refuses to
# run as root, so when started by root the compositor, the command and everything they start run
# as the unprivileged user KLOSIA_WAYLAND_USER (default: nobody).
#
#   run-wayland-session.sh [--] COMMAND [ARGS...]
#
# COMMAND sees WAYLAND_DISPLAY, SWAYSOCK, DBUS_SESSION_BUS_ADDRESS, the XDG_* variables and
# KLOSIA_SESSION_DIR; no DISPLAY (no Xwayland is started). Returns COMMAND's exit status, 128+N
# when stopped by signal N. Whatever it started is stopped by pid on the way out, and only that.
#
# Environment: KLOSIA_SESSION_VERBOSE=1 (progress on stderr), KLOSIA_SESSION_TIMEOUT=S (default
# 20), KLOSIA_SESSION_PIDFILE=F (append "NAME PID STARTTIME" for every process it starts).
# shellcheck disable=SC2317  # functions run from traps and from wait_until
set -u -o pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
timeout_s=${KLOSIA_SESSION_TIMEOUT:-20}
log() {
    if [ "${KLOSIA_SESSION_VERBOSE:-0}" = 1 ]; then echo "wayland-session: $*" >&2; fi
    return 0
}
error() { echo "wayland-session: error: $*" >&2; }

[ "${1:-}" = -- ] && shift
[ $# -gt 0 ] || {
    echo "usage: ${0##*/} [--] COMMAND [ARGS...]" >&2
    exit 2
}
for tool in sway swaymsg dbus-daemon setpriv; do
    command -v "$tool" >/dev/null 2>&1 || {
        error "$tool is not installed (scripts/setup.sh installs everything the session needs)"
        exit 1
    }
done

# shellcheck source=proc-stat.sh
source "$here/proc-stat.sh"
# shellcheck source=bus-config.sh
source "$here/bus-config.sh"

as_user=()
if [ "$(id -u)" = 0 ]; then
    user=${KLOSIA_WAYLAND_USER:-nobody}
    if ! uid=$(id -u "$user") || ! gid=$(id -g "$user"); then
        error "no user $user to run the compositor as"
        exit 1
    fi
    as_user=(setpriv "--reuid=$uid" "--regid=$gid" --clear-groups)
else
    uid=$(id -u)
    gid=$(id -g)
fi

names=()
pids=()
starts=()
command_pid=
session_dir=

start_bg() {
    local name=$1 logfile=$2
    shift 2
    "${as_user[@]}" "$@" >"$logfile" 2>&1 &
    local pid=$! start=
    if proc_stat "$pid"; then start=${REPLY#* }; fi
    names+=("$name")
    pids+=("$pid")
    starts+=("$start")
    if [ -n "${KLOSIA_SESSION_PIDFILE:-}" ]; then
        echo "$name $pid $start" >>"$KLOSIA_SESSION_PIDFILE"
    fi
    log "started $name (pid $pid)"
    REPLY=$pid
}

is_running() {
    local pid=$1 start=$2
    [ -n "$pid" ] && [ -n "$start" ] && proc_stat "$pid" || return 1
    [ "${REPLY#* }" = "$start" ] && [ "${REPLY%% *}" != Z ]
}

stop_process() {
    local name=$1 pid=$2 start=$3 i
    is_running "$pid" "$start" || {
        wait "$pid" 2>/dev/null
        return 0
    }
    log "stopping $name (pid $pid)"
    kill -TERM "$pid" 2>/dev/null
    for ((i = 0; i < 150; i++)); do
        is_running "$pid" "$start" || break
        sleep 0.02
    done
    if is_running "$pid" "$start"; then kill -KILL "$pid" 2>/dev/null; fi
    wait "$pid" 2>/dev/null
    return 0
}

cleanup() {
    local status=$? i
    trap '' INT TERM HUP
    if [ -n "$command_pid" ] && kill -0 -- "-$command_pid" 2>/dev/null; then
        kill -TERM -- "-$command_pid" 2>/dev/null
        sleep 0.2
        kill -KILL -- "-$command_pid" 2>/dev/null
    fi
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        stop_process "${names[i]}" "${pids[i]}" "${starts[i]}"
    done
    if [ -n "${KLOSIA_SESSION_KEEP:-}" ]; then cp -r "$session_dir/logs" "$KLOSIA_SESSION_KEEP"; fi
    if [ -n "$session_dir" ] && [ -d "$session_dir" ]; then rm -rf -- "$session_dir"; fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

wait_until() {
    local what=$1 i
    shift
    for ((i = 0; i < timeout_s * 20; i++)); do
        "$@" && return 0
        sleep 0.05
    done
    error "$what did not come up within ${timeout_s}s"
    return 1
}

session_dir=$(mktemp -d "${TMPDIR:-/tmp}/klosia-wayland.XXXXXX") || exit 1
mkdir -p "$session_dir"/{config,data/applications,cache,runtime,logs}
chmod 0700 "$session_dir/runtime"
chown -R "$uid:$gid" "$session_dir"
chmod 0755 "$session_dir"
logs=$session_dir/logs

export KLOSIA_SESSION_DIR=$session_dir HOME=$session_dir
export XDG_CONFIG_HOME=$session_dir/config XDG_DATA_HOME=$session_dir/data
export XDG_CACHE_HOME=$session_dir/cache XDG_RUNTIME_DIR=$session_dir/runtime
export XDG_DATA_DIRS=$XDG_DATA_HOME:/usr/local/share:/usr/share XDG_SESSION_TYPE=wayland
export XDG_CURRENT_DESKTOP=sway
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK SESSION_MANAGER DBUS_SESSION_BUS_PID

write_bus_config "$session_dir/bus.conf" "$XDG_RUNTIME_DIR/bus" "$XDG_DATA_HOME/dbus-1/services"
start_bg dbus-daemon "$logs/dbus.log" dbus-daemon --config-file="$session_dir/bus.conf" --nofork \
    --nopidfile
export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
wait_until dbus-daemon test -S "$XDG_RUNTIME_DIR/bus" || exit 1

# One headless output of the size the X11 sessions use; no bar, no Xwayland.
cat >"$session_dir/sway.conf" <<EOF
output HEADLESS-1 resolution 1280x800
xwayland disable
EOF
WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    start_bg sway "$logs/sway.log" sway -c "$session_dir/sway.conf"
sway_pid=$REPLY
sway_up() {
    local socket display
    for socket in "$XDG_RUNTIME_DIR"/sway-ipc.*.sock; do
        [ -S "$socket" ] || continue
        SWAYSOCK=$socket
        # The runtime directory is ours alone: its one display socket is sway's.
        for display in "$XDG_RUNTIME_DIR"/wayland-*; do
            [ -S "$display" ] && WAYLAND_DISPLAY=${display##*/}
        done
        [ -n "${WAYLAND_DISPLAY:-}" ] && SWAYSOCK=$SWAYSOCK swaymsg -t get_version >/dev/null 2>&1
        return
    done
    return 1
}
wait_until sway sway_up || {
    tail -n 20 "$logs/sway.log" >&2
    exit 1
}
export SWAYSOCK WAYLAND_DISPLAY
log "sway (pid $sway_pid) on $WAYLAND_DISPLAY"

set -m
"${as_user[@]}" "$@" &
command_pid=$!
set +m
wait "$command_pid"
status=$?
command_pid_done=$command_pid
log "command $command_pid_done exited with status $status"
exit "$status"
