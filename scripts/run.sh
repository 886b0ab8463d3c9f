#!/usr/bin/env bash
# Installs what is missing, builds Klosia into build/ and starts it. Arguments go to klosia.
#
# With DISPLAY set it runs on that desktop. Without one (a console, ssh, CI) it runs inside a
# private virtual desktop (tests/session/run-session.sh); Ctrl+C stops it and that desktop.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build

"$root/scripts/setup.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j2

app=$build/src/app/klosia
if [ ! -x "$app" ]; then
    echo "run: the build did not produce $app" >&2
    exit 1
fi

if [ -n "${DISPLAY:-}" ]; then
    exec "$app" "$@"
fi

# The display number is known only inside the session, hence the message from in there.
# shellcheck disable=SC2016
exec "$root/tests/session/run-session.sh" -- sh -c '
    echo "run: no DISPLAY: klosia runs in a private virtual desktop (display $DISPLAY)." >&2
    echo "run: press Ctrl+C to stop it and the desktop." >&2
    exec "$@"' sh "$app" "$@"
