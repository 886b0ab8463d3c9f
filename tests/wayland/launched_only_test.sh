#!/usr/bin/env bash
# On a desktop that lists no windows to other programs (GNOME's Mutter): klosia --list prints
# one line that says so, no list, exits 1, and leaves a running client alone.
#   nothing_to_offer_test.sh KLOSIA QT_FIXTURE   (inside run-wayland-session.sh --mutter)
set -u -o pipefail
klosia=${1:?usage: nothing_to_offer_test.sh KLOSIA QT_FIXTURE}
fixture=${2:?usage: nothing_to_offer_test.sh KLOSIA QT_FIXTURE}
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
[ "$status" -eq 1 ] || fail "klosia --list exited $status, not 1"
[ ! -s "$out" ] || fail "klosia --list printed a list: $(cat "$out")"
[ "$(wc -l <"$err")" -eq 1 ] || fail "not one line on stderr: $(cat "$err")"
grep -q "this desktop does not let Klosia see other applications' windows" "$err" ||
    fail "the line does not say why: $(cat "$err")"
"$klosia" --list --json >"$out" 2>"$err"
[ $? -eq 1 ] && [ ! -s "$out" ] || fail "klosia --list --json did not refuse the same way"
kill -0 "$client" 2>/dev/null || fail "the client did not survive"
rm -f "$out.client"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "all checks passed"
