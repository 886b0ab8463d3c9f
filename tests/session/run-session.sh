#!/usr/bin/env bash
# Runs a command inside a private virtual desktop: Xvfb on a free display, openbox, a tint2 panel
# with a system tray, dunst for notifications, all on a D-Bus session bus of its own and with XDG
# directories in a temporary directory, so nothing touches the user's real desktop or settings.
#
#   run-session.sh [--panel top|bottom] [--xfce] [--kwin] [--no-notifications] [--no-wm]
#                  [--accessibility] [--] COMMAND [ARGS...]
#
# --xfce makes it Xfce's desktop instead: xfwm4 (compositing off, as openbox has none) and an
# xfce4-panel holding only its status tray, whose tray hosts StatusNotifierItems as well as
# XEmbed icons; both read their settings from an xfconfd of the private bus. --panel still
# picks the edge.
#
# --kwin runs KWin's X11 window manager (compositing off) in openbox's place, with the same tint2
# panel: the window manager of KDE Plasma on X11, which pings a window it was asked to close.
#
# --no-notifications starts no notification daemon and checks that none can be activated, so
# the command meets a desktop without any notification server.
#
# --no-wm leaves the window manager out: the desktop then has no client list and nobody handles
# EWMH requests, as on a bare X server. The panel still starts, but its tray is not waited for.
#
# --accessibility runs the accessibility bus (at-spi2-core's launcher, its bus and registry) and
# turns accessibility on, as a running screen reader does, so Qt programs of the session publish
# their controls and the command can find them by name.
#
# Returns COMMAND's exit status; 128+N when stopped by signal N (130 for SIGINT, 143 for SIGTERM).
# Whatever it started is stopped by pid on the way out, and only that.
#
# Environment:
#   KLOSIA_SESSION_VERBOSE=1   progress lines on stderr (errors are always printed)
#   KLOSIA_SESSION_TIMEOUT=S   seconds each part may take to come up (default 20)
#   KLOSIA_SESSION_PIDFILE=F   append "NAME PID STARTTIME" for every process it starts
# COMMAND sees DISPLAY, XAUTHORITY, DBUS_SESSION_BUS_ADDRESS and the XDG_* variables of the
# session, KLOSIA_SESSION_DIR (the temporary directory), KLOSIA_OUTER_DBUS (the bus address the
# caller had, possibly empty), KLOSIA_SESSION_NOTIFICATIONS (1, or 0 with --no-notifications)
# KLOSIA_SESSION_WM ("openbox", "xfwm4" with --xfce, "kwin" with --kwin, or "none" with --no-wm)
# and, with --accessibility,
# KLOSIA_SESSION_A11Y_BUS (the accessibility bus address).
# shellcheck disable=SC2317  # functions run from traps and from wait_for
set -u -o pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
timeout_s=${KLOSIA_SESSION_TIMEOUT:-20}
grace_ms=3000

log() {
    if [ "${KLOSIA_SESSION_VERBOSE:-0}" = 1 ]; then echo "session: $*" >&2; fi
    return 0
}
error() { echo "session: error: $*" >&2; }

usage() {
    echo "usage: ${0##*/} [--panel top|bottom] [--xfce] [--kwin] [--no-notifications] [--no-wm]" \
        "[--accessibility] [--] COMMAND [ARGS...]" >&2
    exit 2
}

panel=top
notifications=1
window_manager=openbox
desktop=openbox
accessibility=0
while [ $# -gt 0 ]; do
    case $1 in
    --xfce)
        desktop=xfce
        shift
        ;;
    --accessibility)
        accessibility=1
        shift
        ;;
    --kwin)
        window_manager=kwin
        shift
        ;;
    --no-wm)
        window_manager=none
        shift
        ;;
    --no-notifications)
        notifications=0
        shift
        ;;
    --panel)
        [ $# -ge 2 ] || usage
        panel=$2
        shift 2
        ;;
    --panel=*)
        panel=${1#*=}
        shift
        ;;
    --)
        shift
        break
        ;;
    -h | --help) usage ;;
    -*)
        error "unknown option $1"
        usage
        ;;
    *) break ;;
    esac
done
[ $# -gt 0 ] || usage
case $panel in
top | bottom) ;;
*)
    error "--panel takes top or bottom, not '$panel'"
    usage
    ;;
esac
if [ "$desktop" = xfce ]; then
    # xfce4-panel waits for a window manager before it shows: no Xfce desktop runs without one.
    if [ "$window_manager" = none ]; then
        error "--xfce and --no-wm do not go together"
        usage
    fi
    if [ "$window_manager" = kwin ]; then
        error "--xfce and --kwin do not go together"
        usage
    fi
    window_manager=xfwm4
    desktop_tools=(xfwm4 xfce4-panel)
elif [ "$window_manager" = kwin ]; then
    desktop_tools=(kwin_x11 tint2)
else
    desktop_tools=(openbox tint2)
fi

# Debian keeps xfconfd off PATH, where only D-Bus activation would find it.
xfconfd=
for candidate in /usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd /usr/lib/*/xfce4/xfconf/xfconfd \
    /usr/libexec/xfce4/xfconf/xfconfd /usr/lib/xfce4/xfconf/xfconfd; do
    if [ -x "$candidate" ]; then
        xfconfd=$candidate
        break
    fi
done
if [ "$desktop" = xfce ] && [ -z "$xfconfd" ]; then
    error "xfconfd is not installed (package xfconf; scripts/setup.sh installs everything the session needs)"
    exit 1
fi

for tool in Xvfb xauth xdpyinfo xprop "${desktop_tools[@]}" dunst dbus-daemon dbus-send python3 od; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        error "$tool is not installed (scripts/setup.sh installs everything the session needs)"
        exit 1
    fi
done

# --- bookkeeping of what we start -------------------------------------------------------------

# Parallel arrays, in start order. The start time (field 22 of /proc/PID/stat) guards against a
# recycled pid: bash reaps finished children on its own, so a pid alone is not proof of identity.
names=()
pids=()
starts=()
session_dir=
command_pid=
command_start=
probe_pid=

now_ms() {
    local t=${EPOCHREALTIME/[.,]/}
    REPLY=$((t / 1000))
}

# shellcheck source=proc-stat.sh
source "$here/proc-stat.sh"
# shellcheck source=bus-config.sh
source "$here/bus-config.sh"

# True while the process we started (same pid and start time) is running; zombies count as gone.
is_running() {
    local pid=$1 start=$2
    [ -n "$pid" ] && [ -n "$start" ] || return 1
    proc_stat "$pid" || return 1
    local state=${REPLY%% *}
    [ "${REPLY#* }" = "$start" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# Starts a background process, remembers it, sets REPLY to its pid.
start_bg() {
    local name=$1 logfile=$2
    shift 2
    "$@" >"$logfile" 2>&1 &
    local pid=$!
    record "$name" "$pid"
    log "started $name (pid $pid)"
    REPLY=$pid
}

# Waits until the predicate holds. Fails with a message naming the part when the process dies or
# the timeout passes. Usage: wait_for NAME PID START LOGFILE PREDICATE [ARGS...]
wait_for() {
    local name=$1 pid=$2 start=$3 logfile=$4
    shift 4
    now_ms
    local deadline=$((REPLY + timeout_s * 1000))
    while true; do
        if "$@"; then
            log "$name is up"
            return 0
        fi
        if ! is_running "$pid" "$start"; then
            error "$name exited before it came up"
            show_log "$logfile"
            return 1
        fi
        now_ms
        if [ "$REPLY" -ge "$deadline" ]; then
            error "$name did not come up within ${timeout_s}s"
            show_log "$logfile"
            return 1
        fi
        sleep 0.05
    done
}

show_log() {
    if [ -s "$1" ]; then
        echo "session: last lines of ${1##*/}:" >&2
        tail -n 20 "$1" | sed 's/^/session:   /' >&2
    fi
}

# TERM, then KILL after the grace period; reaps it when it is our child.
stop_process() {
    local name=$1 pid=$2 start=$3
    is_running "$pid" "$start" || {
        wait "$pid" 2>/dev/null
        return 0
    }
    log "stopping $name (pid $pid)"
    kill -TERM "$pid" 2>/dev/null
    wait_gone "$pid" "$start" "$grace_ms" || {
        log "$name ignored SIGTERM, killing it"
        kill -KILL "$pid" 2>/dev/null
        wait_gone "$pid" "$start" 1000 || error "$name (pid $pid) did not die"
    }
    is_running "$pid" "$start" || wait "$pid" 2>/dev/null
    return 0
}

wait_gone() {
    local pid=$1 start=$2 ms=$3
    now_ms
    local deadline=$((REPLY + ms))
    while is_running "$pid" "$start"; do
        now_ms
        [ "$REPLY" -lt "$deadline" ] || return 1
        sleep 0.02
    done
    return 0
}

# The command runs in a process group of its own (its pid), so whatever it spawned goes with it.
stop_command() {
    [ -n "$command_pid" ] || return 0
    if kill -0 -- "-$command_pid" 2>/dev/null; then
        log "stopping the command's process group $command_pid"
        kill -TERM -- "-$command_pid" 2>/dev/null
        now_ms
        local deadline=$((REPLY + grace_ms))
        while kill -0 -- "-$command_pid" 2>/dev/null; do
            # Zombies of the group still answer kill -0: only the live leader matters then.
            is_running "$command_pid" "$command_start" || group_has_live_member "$command_pid" || break
            now_ms
            if [ "$REPLY" -ge "$deadline" ]; then
                log "the command ignored SIGTERM, killing its process group"
                kill -KILL -- "-$command_pid" 2>/dev/null
                break
            fi
            sleep 0.02
        done
    fi
    is_running "$command_pid" "$command_start" || wait "$command_pid" 2>/dev/null
    command_pid=
}

group_has_live_member() {
    local pgid=$1 stat line
    local -a fields
    for stat in /proc/[0-9]*/stat; do
        { read -r line <"$stat"; } 2>/dev/null || continue
        # after the name: state ppid pgrp ...
        read -r -a fields <<<"${line##*) }"
        [ "${fields[2]}" = "$pgid" ] && [ "${fields[0]}" != Z ] && return 0
    done
    return 1
}

cleanup() {
    local status=$?
    trap '' INT TERM HUP
    if [ -n "$probe_pid" ]; then kill -TERM "$probe_pid" 2>/dev/null && wait "$probe_pid" 2>/dev/null; fi
    stop_command
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        stop_process "${names[i]}" "${pids[i]}" "${starts[i]}"
    done
    if [ -n "$session_dir" ] && [ -d "$session_dir" ]; then rm -rf -- "$session_dir"; fi
    exit "$status"
}

on_signal() {
    log "received SIG$1, shutting down"
    exit "$2"
}

trap cleanup EXIT
trap 'on_signal INT 130' INT
trap 'on_signal TERM 143' TERM
trap 'on_signal HUP 129' HUP

# --- private directories ----------------------------------------------------------------------

session_dir=$(mktemp -d "${TMPDIR:-/tmp}/klosia-session.XXXXXX") || {
    error "cannot create a temporary directory"
    exit 1
}
chmod 0700 "$session_dir"
if ! mkdir -p "$session_dir"/{config,data/applications,cache,logs} ||
    ! mkdir -m 0700 "$session_dir/runtime"; then
    error "cannot create the session directories in $session_dir"
    exit 1
fi
logs=$session_dir/logs
if [ -n "${KLOSIA_SESSION_PIDFILE:-}" ]; then : >"$KLOSIA_SESSION_PIDFILE"; fi

export KLOSIA_SESSION_DIR=$session_dir
export KLOSIA_OUTER_DBUS=${DBUS_SESSION_BUS_ADDRESS:-}
export XDG_CONFIG_HOME=$session_dir/config
export XDG_DATA_HOME=$session_dir/data
export XDG_CACHE_HOME=$session_dir/cache
export XDG_RUNTIME_DIR=$session_dir/runtime
export XDG_DATA_DIRS=$XDG_DATA_HOME:/usr/local/share:/usr/share
export XDG_CONFIG_DIRS=/etc/xdg
export XDG_SESSION_TYPE=x11
if [ "$desktop" = xfce ]; then export XDG_CURRENT_DESKTOP=XFCE; else export XDG_CURRENT_DESKTOP=Openbox; fi
# Anything pointing at the caller's desktop would lead clients out of the sandbox.
unset WAYLAND_DISPLAY SESSION_MANAGER DBUS_SESSION_BUS_PID DBUS_SESSION_BUS_WINDOWID
log "session directory $session_dir"

# --- X server -----------------------------------------------------------------------------------

# The server takes every cookie in its file whatever display number it is filed under; clients
# need an entry for the real number, added once the server has picked it.
export XAUTHORITY=$session_dir/Xauthority
cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
xauth -q -f "$XAUTHORITY" add :0 . "$cookie" 2>"$logs/xauth.log" || {
    error "xauth could not write $XAUTHORITY"
    show_log "$logs/xauth.log"
    exit 1
}

display_file=$session_dir/display
: >"$display_file"
start_bg Xvfb "$logs/Xvfb.log" \
    Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset -auth "$XAUTHORITY" \
    3>"$display_file"
xvfb_pid=$REPLY
xvfb_start=${starts[-1]}

# Xvfb writes the number and a newline once it accepts connections.
display_number_ready() { IFS= read -r display_number <"$display_file" 2>/dev/null; }
display_number=
wait_for Xvfb "$xvfb_pid" "$xvfb_start" "$logs/Xvfb.log" display_number_ready || exit 1
[[ $display_number =~ ^[0-9]+$ ]] || {
    error "Xvfb reported an odd display number '$display_number'"
    exit 1
}
export DISPLAY=:$display_number
xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie" 2>>"$logs/xauth.log"
server_answers() { xdpyinfo >/dev/null 2>&1; }
wait_for "Xvfb on $DISPLAY" "$xvfb_pid" "$xvfb_start" "$logs/Xvfb.log" server_answers || exit 1

# --- D-Bus --------------------------------------------------------------------------------------

# Our own bus daemon rather than dbus-run-session: a SIGTERM to dbus-run-session leaves both its
# child and the bus daemon running. Only services under the private data home are activatable, so
# no client can start a desktop service that escapes the cleanup below.
mkdir -p "$XDG_DATA_HOME/dbus-1/services"
write_bus_config "$session_dir/bus.conf" "$XDG_RUNTIME_DIR/bus" "$XDG_DATA_HOME/dbus-1/services"
bus_file=$session_dir/bus-address
: >"$bus_file"
start_bg dbus-daemon "$logs/dbus.log" \
    dbus-daemon --config-file="$session_dir/bus.conf" --nofork --nopidfile --print-address=3 \
    3>"$bus_file"
bus_address=
bus_address_ready() { IFS= read -r bus_address <"$bus_file" 2>/dev/null && [ -n "$bus_address" ]; }
wait_for dbus-daemon "$REPLY" "${starts[-1]}" "$logs/dbus.log" bus_address_ready || exit 1
export DBUS_SESSION_BUS_ADDRESS=$bus_address

# --- accessibility bus (--accessibility) -------------------------------------------------------

a11y_launcher=/usr/libexec/at-spi-bus-launcher
if [ "$accessibility" = 1 ]; then
    [ -x "$a11y_launcher" ] || {
        error "$a11y_launcher is missing (at-spi2-core; scripts/setup.sh installs it)"
        exit 1
    }
    # It keeps its switches in GSettings; without dconf on the private bus only the memory backend
    # holds a switch once it is set.
    start_bg at-spi-bus-launcher "$logs/at-spi.log" \
        env GSETTINGS_BACKEND=memory "$a11y_launcher" --launch-immediately
    launcher_pid=$REPLY
    launcher_start=${starts[-1]}
    a11y_bus=
    a11y_bus_ready() {
        a11y_bus=$(dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
            org.a11y.Bus.GetAddress 2>/dev/null) || return 1
        a11y_bus=${a11y_bus//[[:space:]]/}
        [ -n "$a11y_bus" ]
    }
    wait_for "accessibility bus" "$launcher_pid" "$launcher_start" "$logs/at-spi.log" \
        a11y_bus_ready || exit 1
    # The launcher leaves its bus daemon, and the daemon the registry it activates, running when
    # it is stopped: both are recorded here so that the cleanup stops them by pid as well.
    adopt() {
        record "$1" "$2"
        log "recorded $1 (pid $2)"
    }
    bus_daemon_pid() {
        dbus-send --bus="$a11y_bus" --print-reply=literal --dest=org.freedesktop.DBus \
            /org/freedesktop/DBus org.freedesktop.DBus.GetConnectionUnixProcessID "string:$1" \
            2>/dev/null | awk '{ print $NF }'
    }
    a11y_daemon=
    children=()
    read -r -a children < <(cat /proc/"$launcher_pid"/task/*/children 2>/dev/null)
    for child in "${children[@]}"; do
        if [ "$(cat /proc/"$child"/comm 2>/dev/null)" = dbus-daemon ]; then a11y_daemon=$child; fi
    done
    [ -n "$a11y_daemon" ] || {
        error "the accessibility bus answers but its daemon is not the launcher's child"
        exit 1
    }
    adopt at-spi-bus "$a11y_daemon"
    # A call activates the registry; asking it now rather than at a client's first call means
    # its pid is known before the command starts.
    registry_answers() {
        dbus-send --bus="$a11y_bus" --print-reply --dest=org.a11y.atspi.Registry \
            /org/a11y/atspi/accessible/root org.a11y.atspi.Accessible.GetChildren >/dev/null 2>&1
    }
    wait_for "accessibility registry" "$launcher_pid" "$launcher_start" "$logs/at-spi.log" \
        registry_answers || exit 1
    registry_pid=$(bus_daemon_pid org.a11y.atspi.Registry)
    if [[ $registry_pid =~ ^[0-9]+$ ]]; then
        adopt at-spi2-registryd "$registry_pid"
    else
        error "the accessibility registry answers but its pid is unknown"
        exit 1
    fi
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:ScreenReaderEnabled \
        variant:boolean:true >/dev/null 2>>"$logs/at-spi.log" || {
        error "accessibility could not be turned on"
        show_log "$logs/at-spi.log"
        exit 1
    }
    export KLOSIA_SESSION_A11Y_BUS=$a11y_bus
fi

# --- window manager -----------------------------------------------------------------------------

bus_name_owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'
}

# Xfce's programs take their settings from xfconfd, which reads these files of the private config
# home first; it is started here because the private bus activates nothing of the system's.
if [ "$desktop" = xfce ]; then
    channels=$XDG_CONFIG_HOME/xfce4/xfconf/xfce-perchannel-xml
    mkdir -p "$channels"
    # Compositing would make xfwm4 the compositing manager, which openbox's sessions never have.
    cat >"$channels/xfwm4.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfwm4" version="1.0">
  <property name="general" type="empty">
    <property name="use_compositing" type="bool" value="false"/>
  </property>
</channel>
XML
    # One panel along the whole chosen edge (snap positions 6 and 8 are its top and bottom left
    # corners), 30 pixels high like tint2's, with the status tray alone.
    if [ "$panel" = top ]; then snap=6; else snap=8; fi
    cat >"$channels/xfce4-panel.xml" <<XML
<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-panel" version="1.0">
  <property name="configver" type="int" value="2"/>
  <property name="panels" type="array">
    <value type="int" value="1"/>
    <property name="panel-1" type="empty">
      <property name="position" type="string" value="p=$snap;x=0;y=0"/>
      <property name="length" type="uint" value="100"/>
      <property name="position-locked" type="bool" value="true"/>
      <property name="size" type="uint" value="30"/>
      <property name="plugin-ids" type="array">
        <value type="int" value="1"/>
      </property>
    </property>
  </property>
  <property name="plugins" type="empty">
    <property name="plugin-1" type="string" value="systray"/>
  </property>
</channel>
XML
    start_bg xfconfd "$logs/xfconfd.log" "$xfconfd"
    xfconf_ready() { bus_name_owned org.xfce.Xfconf; }
    wait_for xfconfd "$REPLY" "${starts[-1]}" "$logs/xfconfd.log" xfconf_ready || exit 1
fi

export KLOSIA_SESSION_WM=$window_manager
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
if [ "$window_manager" = openbox ]; then
    start_bg openbox "$logs/openbox.log" openbox --sm-disable
    wait_for openbox "$REPLY" "${starts[-1]}" "$logs/openbox.log" wm_ready || exit 1
elif [ "$window_manager" = xfwm4 ]; then
    start_bg xfwm4 "$logs/xfwm4.log" xfwm4 --sm-client-disable
    wait_for xfwm4 "$REPLY" "${starts[-1]}" "$logs/xfwm4.log" wm_ready || exit 1
elif [ "$window_manager" = kwin ]; then
    # No compositing, as openbox has none; KWin is a Qt program and must not take the caller's
    # platform choice (the tests run Qt offscreen outside the session).
    start_bg kwin "$logs/kwin.log" env KWIN_COMPOSE=N QT_QPA_PLATFORM=xcb kwin_x11 --replace
    wait_for kwin "$REPLY" "${starts[-1]}" "$logs/kwin.log" wm_ready || exit 1
fi

# --- panel with the system tray -----------------------------------------------------------------

if [ "$desktop" = xfce ]; then
    panel_name=xfce4-panel
    start_bg xfce4-panel "$logs/xfce4-panel.log" xfce4-panel --sm-client-disable
else
    panel_name=tint2
    tint2rc=$session_dir/tint2rc
    sed "s/^panel_position *=.*/panel_position = $panel center horizontal/" "$here/tint2rc" >"$tint2rc"
    start_bg tint2 "$logs/tint2.log" tint2 -c "$tint2rc"
fi
panel_pid=$REPLY
panel_start=${starts[-1]}
panel_log=$logs/$panel_name.log

# None of the X command line tools reads a selection owner; libX11 through python3's ctypes does.
# One interpreter polls until the tray owns _NET_SYSTEM_TRAY_S0 (exit 0), the panel dies (3) or
# the time runs out (1).
tray_probe='
import ctypes, os, sys, time
pid, deadline = sys.argv[1], time.monotonic() + float(sys.argv[2])
x = ctypes.CDLL("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XGetSelectionOwner.restype = ctypes.c_ulong
x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
x.XDefaultScreen.argtypes = [ctypes.c_void_p]
display = x.XOpenDisplay(None)
if not display:
    sys.exit(2)
name = "_NET_SYSTEM_TRAY_S%d" % x.XDefaultScreen(display)
atom = x.XInternAtom(display, name.encode(), 0)
while not x.XGetSelectionOwner(display, atom):
    try:
        with open("/proc/%s/stat" % pid) as f:
            if f.read().rsplit(")", 1)[1].split()[0] in ("Z", "X"):
                sys.exit(3)
    except OSError:
        sys.exit(3)
    if time.monotonic() > deadline:
        sys.exit(1)
    time.sleep(0.05)
'
if [ "$window_manager" = none ]; then
    # Without a window manager tint2 takes the tray only after about 15 s, close to the timeout;
    # nothing run without one needs the tray, so it is not waited for.
    probe_status=4
else
    # In the background so that a signal to this script is handled while it polls.
    python3 -c "$tray_probe" "$panel_pid" "$timeout_s" 2>"$logs/tray-probe.log" &
    probe_pid=$!
    wait "$probe_pid"
    probe_status=$?
    probe_pid=
fi
case $probe_status in
0) log "$panel_name's system tray is up" ;;
4) log "not waiting for $panel_name's system tray (no window manager)" ;;
3)
    error "$panel_name exited before its system tray came up"
    show_log "$panel_log"
    exit 1
    ;;
1)
    error "$panel_name's system tray did not come up within ${timeout_s}s"
    show_log "$panel_log"
    exit 1
    ;;
*)
    error "could not check $panel_name's system tray"
    show_log "$logs/tray-probe.log"
    exit 1
    ;;
esac
# Xfce's tray takes the XEmbed selection and the StatusNotifierItem watcher's name separately: a
# program started between the two would pick XEmbed where the finished desktop offers both.
if [ "$desktop" = xfce ]; then
    watcher_ready() { bus_name_owned org.kde.StatusNotifierWatcher; }
    wait_for "$panel_name's StatusNotifierItem watcher" "$panel_pid" "$panel_start" "$panel_log" \
        watcher_ready || exit 1
    # The tray runs in a plugin process of the panel's. It is recorded so that the cleanup checks
    # it by pid too, but filed before the panel: stopped first, it would make the panel ask
    # whether to restart it, and it goes with the panel anyway.
    panel_index=$((${#pids[@]} - 1))
    while [ "${pids[panel_index]}" != "$panel_pid" ]; do panel_index=$((panel_index - 1)); done
    children=()
    read -r -a children < <(cat /proc/"$panel_pid"/task/*/children 2>/dev/null)
    for child in "${children[@]}"; do
        [[ $(cat /proc/"$child"/cmdline 2>/dev/null | tr '\0' ' ') == */wrapper-2.0\ * ]] || continue
        record "$panel_name plugin" "$child"
        log "recorded $panel_name's plugin (pid $child)"
        names=("${names[@]:0:panel_index}" "${names[-1]}" "${names[@]:panel_index:${#names[@]}-panel_index-1}")
        pids=("${pids[@]:0:panel_index}" "${pids[-1]}" "${pids[@]:panel_index:${#pids[@]}-panel_index-1}")
        starts=("${starts[@]:0:panel_index}" "${starts[-1]}" "${starts[@]:panel_index:${#starts[@]}-panel_index-1}")
        panel_index=$((panel_index + 1))
    done
fi

# --- notifications ------------------------------------------------------------------------------

notifications_ready() { bus_name_owned org.freedesktop.Notifications; }
export KLOSIA_SESSION_NOTIFICATIONS=$notifications
if [ "$notifications" = 1 ]; then
    start_bg dunst "$logs/dunst.log" dunst -config "$here/dunstrc"
    wait_for dunst "$REPLY" "${starts[-1]}" "$logs/dunst.log" notifications_ready || exit 1
else
    # The bus activates only services under the private data home, which holds none for
    # notifications; check both, as a client would see them.
    activatable=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.ListActivatableNames 2>&1) || {
        error "the bus did not list its activatable names: $activatable"
        exit 1
    }
    if notifications_ready || grep -q '"org.freedesktop.Notifications"' <<<"$activatable"; then
        error "--no-notifications: a notification server is reachable on the private bus"
        exit 1
    fi
    log "no notification server on this bus"
fi

# --- the command --------------------------------------------------------------------------------

log "running $* on $DISPLAY"
# Job control gives the command a process group of its own (and keeps SIGINT at its default);
# stdin is passed on explicitly because background jobs otherwise read /dev/null.
set -m
"$@" <&0 &
command_pid=$!
set +m
if proc_stat "$command_pid"; then command_start=${REPLY#* }; fi
if [ -n "${KLOSIA_SESSION_PIDFILE:-}" ]; then
    echo "command $command_pid $command_start" >>"$KLOSIA_SESSION_PIDFILE"
fi
wait "$command_pid"
status=$?
log "command exited with status $status"
# Leftovers of the command (its group) go too; the desktop follows in cleanup.
stop_command
exit "$status"
