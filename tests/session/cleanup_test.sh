#!/usr/bin/env bash
# Checks run-session.sh from the outside: the command's exit status comes back, --panel places
# the panel, --no-notifications leaves the bus without a notification server, --no-wm leaves the
# window manager out, --accessibility runs the accessibility bus and stops it, and a signal stops
# the command and every process of the desktop, leaving nothing behind (neither processes nor the
# temporary directory).
#
#   cleanup_test.sh PATH/TO/run-session.sh
# shellcheck disable=SC2016  # the single-quoted scripts expand inside the session
set -u -o pipefail

script=${1:?usage: cleanup_test.sh PATH/TO/run-session.sh}
work=$(mktemp -d "${TMPDIR:-/tmp}/klosia-cleanup-test.XXXXXX") || exit 1
trap 'rm -rf -- "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
pass() { echo "ok: $*"; }
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

# shellcheck source=proc-stat.sh
source "$(dirname "${BASH_SOURCE[0]}")/proc-stat.sh"

# A pid counts as ours only with the start time the script recorded for it.
still_running() {
    proc_stat "$1" || return 1
    [ "${REPLY#* }" = "$2" ] && [ "${REPLY%% *}" != Z ]
}

alive() { proc_stat "$1" && [ "${REPLY%% *}" != Z ]; }

processes_with_env() {
    local entry=$1 dir pid
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        [ "$pid" = "$$" ] && continue
        if tr '\0' '\n' 2>/dev/null <"$dir/environ" | grep -qxF -- "$entry"; then
            echo "$pid $(tr '\0' ' ' 2>/dev/null <"$dir/cmdline")"
        fi
    done
}

# --- exit status and options ---------------------------------------------------------------------

"$script" -- sh -c 'exit 7'
check "a failing command's exit status (7) is returned" [ $? -eq 7 ]

"$script" --panel middle -- true 2>/dev/null
check "an unknown panel position is a usage error" [ $? -eq 2 ]

# Xvfb's screen is 1280x800: the panel sits on its top or bottom edge.
for panel in top bottom; do
    out=$work/panel-$panel
    "$script" --panel "$panel" -- \
        sh -c 'w=$(xdotool search --class tint2 | head -n 1) && xwininfo -id "$w"' >"$out"
    rc=$?
    y=$(awk '/Absolute upper-left Y:/ { print $NF }' "$out")
    h=$(awk '/Height:/ { print $NF }' "$out")
    if [ $rc -ne 0 ] || [ -z "$y" ] || [ -z "$h" ]; then
        fail "--panel $panel: no panel window found (status $rc)"
    elif [ "$panel" = top ]; then
        check "--panel top puts the panel at the top (y=$y)" [ "$y" -eq 0 ]
    else
        check "--panel bottom puts the panel at the bottom (y=$y, height $h)" [ $((y + h)) -eq 800 ]
    fi
done

KLOSIA_SESSION_PIDFILE=$work/pids-quiet "$script" --no-notifications -- sh -c \
    '[ "$KLOSIA_SESSION_NOTIFICATIONS" = 0 ] &&
     dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
         org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications |
     grep -q "boolean false"'
check "--no-notifications: the command finds no notification server" [ $? -eq 0 ]
if [ -s "$work/pids-quiet" ] && ! grep -q '^dunst ' "$work/pids-quiet"; then
    pass "--no-notifications: no dunst was started"
else
    fail "--no-notifications: no dunst was started"
fi

# With the accessibility bus: the command finds the registry with a screen reader's switch on,
# and the launcher's bus daemon and the registry it activated are recorded and stopped too.
pidfile=$work/pids-a11y
KLOSIA_SESSION_PIDFILE=$pidfile "$script" --accessibility -- sh -c \
    'echo "$KLOSIA_SESSION_DIR" >"$1" &&
     dbus-send --bus="$KLOSIA_SESSION_A11Y_BUS" --print-reply --dest=org.a11y.atspi.Registry \
         /org/a11y/atspi/accessible/root org.a11y.atspi.Accessible.GetChildren >/dev/null &&
     dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
         org.freedesktop.DBus.Properties.Get string:org.a11y.Status string:ScreenReaderEnabled |
     grep -q "boolean true"' sh "$work/a11y-dir"
check "--accessibility: the command finds the registry, the switch on" [ $? -eq 0 ]
for name in at-spi-bus-launcher at-spi-bus at-spi2-registryd; do
    check "--accessibility: $name was started and recorded" grep -q "^$name " "$pidfile"
done
while read -r name ppid start; do
    if still_running "$ppid" "$start"; then fail "--accessibility: $name (pid $ppid) is still running"; fi
done <"$pidfile"
leftovers=$(processes_with_env "KLOSIA_SESSION_DIR=$(cat "$work/a11y-dir")")
check "--accessibility: no process of the session is left${leftovers:+: $leftovers}" [ -z "$leftovers" ]

# Without a window manager: none is started, the command sees none, and the session still ends
# clean.
lacks() { ! grep -q "$@"; }
out=$work/no-wm
pidfile=$work/pids-no-wm
KLOSIA_SESSION_PIDFILE=$pidfile "$script" --no-wm -- \
    sh -c 'echo "wm=$KLOSIA_SESSION_WM"; xprop -root _NET_SUPPORTING_WM_CHECK' >"$out" 2>&1
rc=$?
check "--no-wm: the command ran (status $rc)" [ $rc -eq 0 ]
check "--no-wm: KLOSIA_SESSION_WM is none" grep -qx 'wm=none' "$out"
check "--no-wm: the command saw no window manager" lacks 'window id' "$out"
check "--no-wm: no window manager was started" lacks '^openbox ' "$pidfile"
check "--no-wm: the panel was started" grep -q '^tint2 ' "$pidfile"
while read -r name ppid start; do
    if still_running "$ppid" "$start"; then fail "--no-wm: $name (pid $ppid) is still running"; fi
done <"$pidfile"

# --- stopping by signal --------------------------------------------------------------------------

# Job control keeps SIGINT at its default in the background script (as at a terminal).
set -m
for sig in TERM INT; do
    case $sig in TERM) expected=143 ;; INT) expected=130 ;; esac
    ready=$work/ready-$sig
    pidfile=$work/pids-$sig
    KLOSIA_SESSION_PIDFILE=$pidfile "$script" -- sh -c \
        'xprop -root _NET_SUPPORTING_WM_CHECK >"$1.wm"; echo "$DISPLAY $KLOSIA_SESSION_DIR" >"$1"
         sleep 1000' sh "$ready" &
    pid=$!

    for _ in $(seq 600); do
        [ -s "$ready" ] && break
        alive "$pid" || break
        sleep 0.1
    done
    if [ ! -s "$ready" ]; then
        fail "SIG$sig: the session did not start"
        kill -TERM "$pid" 2>/dev/null
        wait "$pid"
        continue
    fi
    read -r display session_dir <"$ready"
    check "SIG$sig: the command saw a window manager on $display" grep -q 'window id' "$ready.wm"

    started=$EPOCHSECONDS
    kill -"$sig" "$pid"
    for _ in $(seq 150); do
        alive "$pid" || break
        sleep 0.1
    done
    if alive "$pid"; then
        fail "SIG$sig: run-session.sh still runs 15 s after the signal"
        kill -KILL "$pid"
    fi
    wait "$pid"
    rc=$?
    check "SIG$sig: exit status $rc is $expected" [ "$rc" -eq "$expected" ]
    check "SIG$sig: it stopped promptly" [ $((EPOCHSECONDS - started)) -le 10 ]

    while read -r name ppid start; do
        if still_running "$ppid" "$start"; then fail "SIG$sig: $name (pid $ppid) is still running"; fi
    done <"$pidfile"
    for name in Xvfb dbus-daemon openbox tint2 dunst command; do
        check "SIG$sig: $name was started and recorded" grep -q "^$name " "$pidfile"
    done
    # Whatever the session started carries its directory in the environment, the command's own
    # children (sleep) included.
    leftovers=$(processes_with_env "KLOSIA_SESSION_DIR=$session_dir")
    check "SIG$sig: no process of the session is left${leftovers:+: $leftovers}" [ -z "$leftovers" ]
    check "SIG$sig: the session directory is removed" [ ! -e "$session_dir" ]
done
set +m

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
