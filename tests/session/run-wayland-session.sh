#!/usr/bin/env bash
# Runs a command inside a private headless Wayland desktop: sway with its headless backend, KWin
# with its virtual one, or GNOME's Mutter (headless, a desktop that lists no windows to others), on a D-Bus session bus of its own, with XDG directories in a
# temporary directory. sway refuses to run as root, so when started by root the compositor, the
# command and everything they start run as the unprivileged user KLOSIA_WAYLAND_USER (default:
# nobody).
#
#   run-wayland-session.sh [--kwin | --mutter] [--xwayland] [--] COMMAND [ARGS...]
#
# COMMAND sees WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS, SHELL=/bin/sh, the XDG_* variables (its
# desktop files go to $XDG_DATA_HOME/applications), KLOSIA_SESSION_DIR and
# KLOSIA_SESSION_COMPOSITOR (sway or kwin); under sway SWAYSOCK; with --xwayland (sway and KWin)
# DISPLAY, the X server the compositor starts for X11 programs (Xwayland, its child, which goes
# with it). Returns COMMAND's exit status, 128+N when stopped by signal N. Whatever it started is
# stopped by pid on the way out, and only that.
#
# What COMMAND writes to $KLOSIA_SESSION_DIR/artifacts (screenshots) is copied to
# KLOSIA_SESSION_ARTIFACTS when that is set, since the session's user may not write there.
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

xwayland=disable
compositor=sway
while [ $# -gt 0 ]; do
    case $1 in
    --xwayland) xwayland=enable ;;
    --kwin) compositor=kwin ;;
    --mutter) compositor=mutter ;;
    --) ;;
    *) break ;;
    esac
    shift
done
[ $# -gt 0 ] || {
    echo "usage: ${0##*/} [--kwin | --mutter] [--xwayland] [--] COMMAND [ARGS...]" >&2
    exit 2
}
if [ "$compositor" = kwin ]; then
    tools=(kwin_wayland dbus-daemon dbus-send setpriv)
elif [ "$compositor" = mutter ]; then
    tools=(mutter dbus-daemon setpriv)
else
    tools=(sway swaymsg dbus-daemon setpriv)
fi
for tool in "${tools[@]}"; do
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
    local pid=$!
    record "$name" "$pid"
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
    if [ -n "${KLOSIA_SESSION_ARTIFACTS:-}" ] && [ -n "$session_dir" ] &&
        [ -n "$(ls -A "$session_dir/artifacts" 2>/dev/null)" ]; then
        mkdir -p "$KLOSIA_SESSION_ARTIFACTS" &&
            cp -r "$session_dir/artifacts/." "$KLOSIA_SESSION_ARTIFACTS/"
    fi
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
mkdir -p "$session_dir"/{config,data/applications,cache,runtime,logs,artifacts}
chmod 0700 "$session_dir/runtime"
chown -R "$uid:$gid" "$session_dir"
chmod 0755 "$session_dir"
logs=$session_dir/logs

export KLOSIA_SESSION_DIR=$session_dir HOME=$session_dir
export XDG_CONFIG_HOME=$session_dir/config XDG_DATA_HOME=$session_dir/data
export XDG_CACHE_HOME=$session_dir/cache XDG_RUNTIME_DIR=$session_dir/runtime
export XDG_DATA_DIRS=$XDG_DATA_HOME:/usr/local/share:/usr/share XDG_SESSION_TYPE=wayland
# The session's user may have a login shell that refuses (nobody's is nologin), and a terminal
# started without SHELL would run that and close at once.
export SHELL=/bin/sh
case $compositor in
kwin) export XDG_CURRENT_DESKTOP=KDE ;;
mutter) export XDG_CURRENT_DESKTOP=GNOME ;;
*) export XDG_CURRENT_DESKTOP=sway ;;
esac
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK SESSION_MANAGER DBUS_SESSION_BUS_PID

write_bus_config "$session_dir/bus.conf" "$XDG_RUNTIME_DIR/bus" "$XDG_DATA_HOME/dbus-1/services"
start_bg dbus-daemon "$logs/dbus.log" dbus-daemon --config-file="$session_dir/bus.conf" --nofork \
    --nopidfile
export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
wait_until dbus-daemon test -S "$XDG_RUNTIME_DIR/bus" || exit 1

if [ "$compositor" = sway ]; then
    # One headless output of the size the X11 sessions use; no bar.
    cat >"$session_dir/sway.conf" <<EOF
output HEADLESS-1 resolution 1280x800
xwayland $xwayland
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
            [ -n "${WAYLAND_DISPLAY:-}" ] &&
                SWAYSOCK=$SWAYSOCK swaymsg -t get_version >/dev/null 2>&1
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
    if [ "$xwayland" = enable ]; then
        # sway hands its X display to what it starts; ask it to start something that writes it.
        display_file=$session_dir/display
        swaymsg "exec printenv DISPLAY > $display_file" >/dev/null
        display_known() { [ -s "$display_file" ]; }
        wait_until "the X display of sway" display_known || exit 1
        DISPLAY=$(cat "$display_file")
        export DISPLAY
        log "Xwayland on $DISPLAY"
    fi
elif [ "$compositor" = mutter ]; then
    WAYLAND_DISPLAY=wayland-klosia
    export WAYLAND_DISPLAY
    start_bg mutter "$logs/mutter.log" mutter --headless --wayland --no-x11 \
        --virtual-monitor 1280x800 --wayland-display "$WAYLAND_DISPLAY"
    mutter_pid=$REPLY
    mutter_up() { [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ]; }
    wait_until mutter mutter_up || {
        tail -n 20 "$logs/mutter.log" >&2
        exit 1
    }
    log "mutter (pid $mutter_pid) on $WAYLAND_DISPLAY"
else
    # The packaged binary carries a file capability that an unprivileged start cannot take up;
    # a plain copy runs, and only under its own name.
    mkdir -p "$session_dir/bin"
    cp /usr/bin/kwin_wayland "$session_dir/bin/kwin_wayland"
    chmod 0755 "$session_dir/bin/kwin_wayland"
    WAYLAND_DISPLAY=wayland-klosia
    export WAYLAND_DISPLAY
    kwin_xwayland=()
    [ "$xwayland" = enable ] && kwin_xwayland=(--xwayland)
    start_bg kwin_wayland "$logs/kwin.log" env -u QT_QPA_PLATFORM \
        "$session_dir/bin/kwin_wayland" --virtual "${kwin_xwayland[@]}" --no-lockscreen --socket "$WAYLAND_DISPLAY" \
        --width 1280 --height 800
    kwin_pid=$REPLY
    kwin_up() {
        # The bus answers only its own user.
        [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] &&
            "${as_user[@]}" dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
                org.freedesktop.DBus.NameHasOwner string:org.kde.KWin 2>/dev/null |
            grep -q "boolean true"
    }
    wait_until kwin_wayland kwin_up || {
        tail -n 20 "$logs/kwin.log" >&2
        exit 1
    }
    log "kwin_wayland (pid $kwin_pid) on $WAYLAND_DISPLAY"
    if [ "$xwayland" = enable ]; then
        # KWin picks a free display for the Xwayland it starts as its child, and names it first
        # on that child's command line; X11 programs of the session need no cookie from it.
        kwin_display() {
            local child argv
            for child in $(pgrep -P "$kwin_pid" -x Xwayland); do
                argv=$(tr '\0' ' ' <"/proc/$child/cmdline" 2>/dev/null) || continue
                argv=${argv#* }
                [ "${argv:0:1}" = : ] || continue
                DISPLAY=${argv%% *}
                [ -S "/tmp/.X11-unix/X${DISPLAY#:}" ] && return 0
            done
            return 1
        }
        wait_until "the X display of KWin" kwin_display || exit 1
        export DISPLAY
        log "Xwayland on $DISPLAY"
    fi
fi
export KLOSIA_SESSION_COMPOSITOR=$compositor

set -m
"${as_user[@]}" "$@" &
command_pid=$!
set +m
wait "$command_pid"
status=$?
command_pid_done=$command_pid
log "command $command_pid_done exited with status $status"
exit "$status"
