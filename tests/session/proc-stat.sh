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
