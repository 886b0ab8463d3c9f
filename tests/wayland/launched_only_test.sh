#!/usr/bin/env bash
# On GNOME without Klosia's Shell extension (here Mutter alone, which lists no windows to other
# programs): klosia --list names the launched applications as its source, lists only those
# (none here: nothing runs in a systemd unit of an application), never the window's client, and
# leaves it alone.
#   launched_only_test.sh KLOSIA QT_FIXTURE   (inside run-wayland-session.sh --mutter)
set -u -o pipefail
klosia=${1:?usage: launched_only_test.sh KLOSIA QT_FIXTURE}
fixture=${2:?usage: launched_only_test.sh KLOSIA QT_FIXTURE}
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"; [ -n "${client:-}" ] && kill "$client" 2>/dev/null' EXIT
QT_QPA_PLATFORM=wayland "$fixture" --app-id klosia.test.bystander >"$out.client" 2>&1 &
client=$!
for _ in $(seq 200); do
    grep -q exposed "$out.client" 2>/dev/null && break
    sleep 0.05
done
grep -q exposed "$out.client" || fail "the Qt client never showed its window"

"$klosia" --list >"$out" 2>"$err"
status=$?
[ "$status" -eq 0 ] || fail "klosia --list exited $status, not 0: $(cat "$err")"
grep -q "^(workspace: launched applications (systemd units): GNOME Shell's extension klosia@klosia.org is not enabled)" "$out" ||
    fail "the list does not name its source and why: $(cat "$out")"
grep -q "klosia.test.bystander" "$out" && fail "a window's client was listed: $(cat "$out")"
"$klosia" --list --json >"$out" 2>"$err"
[ $? -eq 0 ] && grep -q '^\[' "$out" || fail "klosia --list --json printed no list: $(cat "$out")"
grep -q "klosia.test.bystander" "$out" && fail "a window's client was listed in JSON"
kill -0 "$client" 2>/dev/null || fail "the client did not survive"
rm -f "$out.client"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "all checks passed"
