# shellcheck shell=bash
# Sourced by the session scripts: reads a process's state from /proc.

# Sets REPLY to "STATE STARTTIME" of a pid; fails when there is no such process. The fields
# are taken after the last ")" because the command name may contain spaces and parentheses.
proc_stat() {
    local line
    { read -r line <"/proc/$1/stat"; } 2>/dev/null || return 1
    line=${line##*) }
    local -a fields
    read -r -a fields <<<"$line"
    REPLY="${fields[0]} ${fields[19]}"
}

# Remembers a process to stop on the way out, with its start time, in the caller's arrays
# names, pids and starts (and in KLOSIA_SESSION_PIDFILE when set).
record() {
    local name=$1 pid=$2 start=
    if proc_stat "$pid"; then start=${REPLY#* }; fi
    names+=("$name")
    pids+=("$pid")
    starts+=("$start")
    if [ -n "${KLOSIA_SESSION_PIDFILE:-}" ]; then
        echo "$name $pid $start" >>"$KLOSIA_SESSION_PIDFILE"
    fi
}
