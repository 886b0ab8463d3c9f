#!/usr/bin/env bash
# Runs a command inside a private headless Wayland desktop: sway with its headless backend, KWin
# with its virtual one, GNOME's Mutter (headless, a desktop that lists no windows to others), or
# the whole GNOME Shell (headless, extensions on), on a D-Bus session bus of its own, with XDG
# directories in a temporary directory. sway refuses to run as root, so when started by root the
# compositor, the command and everything they start run as the unprivileged user
# KLOSIA_WAYLAND_USER (default: nobody).
#
#   run-wayland-session.sh [--kwin | --mutter | --gnome-shell] [--xwayland] [--] COMMAND [ARGS...]
#
# COMMAND sees WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS, SHELL=/bin/sh, the XDG_* variables (its
# desktop files go to $XDG_DATA_HOME/applications), KLOSIA_SESSION_DIR and
# KLOSIA_SESSION_COMPOSITOR (sway, kwin, mutter or gnome-shell); under sway SWAYSOCK; with
# --xwayland (sway, KWin and GNOME Shell) DISPLAY, the X server the compositor starts for X11
# programs (Xwayland, its child, which goes with it), under GNOME Shell with its XAUTHORITY.
# Returns COMMAND's exit status, 128+N when stopped by signal N. Whatever it started is stopped
# by pid on the way out, and only that.
#
# What COMMAND writes to $KLOSIA_SESSION_DIR/artifacts (screenshots) is copied to
# KLOSIA_SESSION_ARTIFACTS when that is set, since the session's user may not write there.
#
# Environment: KLOSIA_SESSION_VERBOSE=1 (progress on stderr), KLOSIA_SESSION_TIMEOUT=S (default
# 20), KLOSIA_SESSION_PIDFILE=F (append "NAME PID STARTTIME" for every process it starts).
#
# GNOME Shell: KLOSIA_GNOME_EXTENSION_DIR=DIR copies DIR, an extension's folder named by its
# uuid, into $XDG_DATA_HOME/gnome-shell/extensions and enables it before the Shell starts;
# COMMAND runs only once the Shell has finished starting up and that extension is enabled (the
# session fails, with the Shell's reason, when it is not); with KLOSIA_GNOME_EXTENSION_DISABLED=1
# it is installed only, for `gnome-extensions enable` to enable it while the session runs. The Shell opens on its overview, as at
# a login; the rig's own extension (session-ready@klosia.test, also enabled) closes it before
# COMMAND runs unless KLOSIA_GNOME_OVERVIEW=1; it also lists the Shell's windows with their
# frames to a test (org.klosia.test.GnomeShellReady /org/klosia/test/GnomeShell, Windows(),
# JSON). Settings are GLib's keyfile backend
# (GSETTINGS_BACKEND=keyfile, $XDG_CONFIG_HOME/glib-2.0/settings/keyfile), which the Shell,
# gsettings and `gnome-extensions` share; animations are off. org.freedesktop.Notifications is
# the Shell's, as in a GNOME session.
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
    --gnome-shell) compositor=gnome-shell ;;
    --) ;;
    *) break ;;
    esac
    shift
done
[ $# -gt 0 ] || {
    echo "usage: ${0##*/} [--kwin | --mutter | --gnome-shell] [--xwayland] [--] COMMAND" \
        "[ARGS...]" >&2
    exit 2
}
if [ "$compositor" = kwin ]; then
    tools=(kwin_wayland dbus-daemon dbus-send setpriv)
elif [ "$compositor" = mutter ]; then
    tools=(mutter dbus-daemon setpriv)
elif [ "$compositor" = gnome-shell ]; then
    tools=(gnome-shell gjs dbus-daemon dbus-send gdbus setpriv)
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

# The display of the Xwayland that compositor PID started as its child, which names it first on
# its command line: sets DISPLAY once its socket is there.
xwayland_display() {
    local child argv
    for child in $(pgrep -P "$1" -x Xwayland); do
        argv=$(tr '\0' ' ' <"/proc/$child/cmdline" 2>/dev/null) || continue
        argv=${argv#* }
        [ "${argv:0:1}" = : ] || continue
        DISPLAY=${argv%% *}
        [ -S "/tmp/.X11-unix/X${DISPLAY#:}" ] && return 0
    done
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
mutter | gnome-shell) export XDG_CURRENT_DESKTOP=GNOME ;;
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
elif [ "$compositor" = gnome-shell ]; then
    # The Shell builds parts of its panel on the system bus and stops at start without one; the
    # machine's may be missing and is not ours to use, so it gets one of its own on which nothing
    # can be started: no logind, accounts or network service, which the Shell only warns about.
    mkdir -p "$session_dir/system-services"
    write_bus_config "$session_dir/system-bus.conf" "$session_dir/system-bus" \
        "$session_dir/system-services"
    sed -i 's|<type>session</type>|<type>system</type>|' "$session_dir/system-bus.conf"
    start_bg system-bus "$logs/system-bus.log" dbus-daemon \
        --config-file="$session_dir/system-bus.conf" --nofork --nopidfile
    wait_until "the Shell's system bus" test -S "$session_dir/system-bus" || exit 1

    export GSETTINGS_BACKEND=keyfile
    ready_uuid=session-ready@klosia.test
    extensions=$XDG_DATA_HOME/gnome-shell/extensions
    enabled="'$ready_uuid'"
    mkdir -p "$extensions/$ready_uuid" "$XDG_CONFIG_HOME/glib-2.0/settings"
    extension_uuid=
    if [ -n "${KLOSIA_GNOME_EXTENSION_DIR:-}" ]; then
        extension_uuid=$(basename "$KLOSIA_GNOME_EXTENSION_DIR")
        [ -f "$KLOSIA_GNOME_EXTENSION_DIR/metadata.json" ] || {
            error "$KLOSIA_GNOME_EXTENSION_DIR has no metadata.json"
            exit 1
        }
        # A copy: the session's user may not read the original's folders.
        mkdir -p "$extensions/$extension_uuid"
        cp -r "$KLOSIA_GNOME_EXTENSION_DIR/." "$extensions/$extension_uuid/" || exit 1
        if [ "${KLOSIA_GNOME_EXTENSION_DISABLED:-0}" != 1 ]; then
            enabled+=", '$extension_uuid'"
        fi
    fi
    # Startup finishes with the overview open; the command needs to know when that is, and
    # mostly wants the desktop as it is once a person has closed the overview.
    cat >"$extensions/$ready_uuid/metadata.json" <<'EOF'
{
  "uuid": "session-ready@klosia.test",
  "name": "Klosia test session ready",
  "description": "Owns org.klosia.test.GnomeShellReady once the Shell has started",
  "shell-version": ["43", "44"]
}
EOF
    cat >"$extensions/$ready_uuid/extension.js" <<'EOF'
/* exported init */
const { Gio, GLib } = imports.gi;
const Main = imports.ui.main;

class SessionReady {
    enable() {
        this._signals = [];
        if (Main.layoutManager._startingUp)
            this._connect(Main.layoutManager, 'startup-complete', () => this._closeOverview());
        else
            this._closeOverview();
    }

    _connect(object, signal, callback) {
        this._signals.push([object, object.connect(signal, callback)]);
    }

    _closeOverview() {
        if (GLib.getenv('KLOSIA_GNOME_OVERVIEW') === '1' || !Main.overview.visible) {
            this._ready();
            return;
        }
        this._connect(Main.overview, 'hidden', () => this._ready());
        Main.overview.hide();
    }

    _ready() {
        if (this._owner)
            return;
        // What a test may read of the Shell and nothing else: the windows, with their frames.
        this._object = Gio.DBusExportedObject.wrapJSObject(`<node>
          <interface name="org.klosia.test.GnomeShell">
            <method name="Windows"><arg type="s" direction="out"/></method>
          </interface></node>`, this);
        this._object.export(Gio.DBus.session, '/org/klosia/test/GnomeShell');
        this._owner = Gio.bus_own_name(Gio.BusType.SESSION, 'org.klosia.test.GnomeShellReady',
            Gio.BusNameOwnerFlags.NONE, null, null, null);
    }

    Windows() {
        return JSON.stringify(global.get_window_actors().map(actor => {
            const w = actor.get_meta_window();
            const frame = w.get_frame_rect();
            return {title: w.get_title(), pid: w.get_pid(), x: frame.x, y: frame.y,
                width: frame.width, height: frame.height, above: w.is_above(),
                focused: w.has_focus()};
        }));
    }

    disable() {
        for (const [object, id] of this._signals)
            object.disconnect(id);
        this._signals = [];
        if (this._owner)
            Gio.bus_unown_name(this._owner);
        this._owner = 0;
        if (this._object)
            this._object.unexport();
        this._object = null;
    }
}

function init() {
    return new SessionReady();
}
EOF
    # A tour offered at the first login, a lock on idle, and animations would each stand
    # between a test and the windows it drives.
    cat >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile" <<EOF
[org/gnome/shell]
enabled-extensions=[$enabled]
disable-user-extensions=false
welcome-dialog-last-shown-version='999'

[org/gnome/desktop/interface]
enable-animations=false

[org/gnome/desktop/screensaver]
lock-enabled=false

[org/gnome/desktop/session]
idle-delay=uint32 0
EOF
    chown -R "$uid:$gid" "$XDG_DATA_HOME/gnome-shell" "$XDG_CONFIG_HOME/glib-2.0"

    WAYLAND_DISPLAY=wayland-klosia
    export WAYLAND_DISPLAY
    shell_x11=(--no-x11)
    if [ "$xwayland" = enable ]; then
        shell_x11=()
        # Mutter starts no Xwayland unless the X socket folder is everyone's with the sticky
        # bit, as a booted system makes it; one made by an X server of an ordinary user is not.
        if [ ! -e /tmp/.X11-unix ] && [ "$(id -u)" = 0 ]; then
            mkdir -m 1777 /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix
        fi
        if [ "$(stat -c %a /tmp/.X11-unix 2>/dev/null)" != 1777 ]; then
            error "/tmp/.X11-unix is not mode 1777 ($(stat -c '%A %U' /tmp/.X11-unix 2>&1)):" \
                "GNOME Shell would start no Xwayland"
            exit 1
        fi
    fi
    # The data home is left out of the Shell's data dirs: it looks for extensions in both and
    # would find each one twice. No core file from the Shell, which may crash as it quits.
    start_bg gnome-shell "$logs/gnome-shell.log" \
        env DBUS_SYSTEM_BUS_ADDRESS="unix:path=$session_dir/system-bus" \
        XDG_DATA_DIRS=/usr/local/share:/usr/share NO_AT_BRIDGE=1 \
        sh -c 'ulimit -c 0 && exec "$@"' sh \
        gnome-shell --headless --wayland "${shell_x11[@]}" --virtual-monitor 1280x800 \
        --wayland-display "$WAYLAND_DISPLAY"
    shell_pid=$REPLY
    shell_start=${starts[-1]}
    owned() {
        "${as_user[@]}" dbus-send --session --print-reply --dest=org.freedesktop.DBus \
            /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null |
            grep -q "boolean true"
    }
    shell_up() {
        is_running "$shell_pid" "$shell_start" || {
            error "gnome-shell quit while starting"
            tail -n 30 "$logs/gnome-shell.log" >&2
            exit 1
        }
        [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && owned org.klosia.test.GnomeShellReady
    }
    wait_until gnome-shell shell_up || {
        tail -n 30 "$logs/gnome-shell.log" >&2
        exit 1
    }
    log "gnome-shell (pid $shell_pid) on $WAYLAND_DISPLAY"
    # What a GNOME session's bus would start for the Shell: the notification server (it owns
    # org.freedesktop.Notifications and hands each one to the Shell) and the service behind
    # `gnome-extensions`. Started here instead, they are ours to stop by pid; the bus would
    # leave them to init. Both quit with the Shell.
    start_bg notifications "$logs/notifications.log" \
        gjs /usr/share/gnome-shell/org.gnome.Shell.Notifications
    SHELL_DBUS_PERSIST=1 start_bg extensions-service "$logs/extensions-service.log" \
        gjs /usr/share/gnome-shell/org.gnome.Shell.Extensions
    for service in org.freedesktop.Notifications org.gnome.Shell.Extensions; do
        wait_until "$service" owned "$service" || exit 1
    done
    if [ -n "$extension_uuid" ] && [ "${KLOSIA_GNOME_EXTENSION_DISABLED:-0}" != 1 ]; then
        # ExtensionState: 1 is enabled; the reply carries the Shell's error otherwise.
        info=$("${as_user[@]}" gdbus call --session --dest org.gnome.Shell \
            --object-path /org/gnome/Shell --method org.gnome.Shell.Extensions.GetExtensionInfo \
            "$extension_uuid" 2>&1)
        case $info in
        *"'state': <1.0>"*) log "extension $extension_uuid enabled" ;;
        *"'state': <4.0>"*)
            error "the Shell did not enable $extension_uuid: its shell-version leaves out $(
                gnome-shell --version)"
            exit 1
            ;;
        *)
            error "the Shell did not enable $extension_uuid: $info"
            grep -F -A3 "$extension_uuid" "$logs/gnome-shell.log" | tail -n 20 >&2
            exit 1
            ;;
        esac
    fi
    if [ "$xwayland" = enable ]; then
        # As KWin's: Xwayland is the Shell's child and names its display first.
        wait_until "the X display of GNOME Shell" xwayland_display "$shell_pid" || exit 1
        # Unlike KWin's, this X server wants a cookie, which Mutter writes to the runtime
        # folder (ours alone, so the one such file is the Shell's).
        for XAUTHORITY in "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.*; do :; done
        [ -f "$XAUTHORITY" ] || {
            error "GNOME Shell wrote no Xauthority file for its Xwayland"
            exit 1
        }
        export DISPLAY XAUTHORITY
        log "Xwayland on $DISPLAY"
    fi
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
        wait_until "the X display of KWin" xwayland_display "$kwin_pid" || exit 1
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
