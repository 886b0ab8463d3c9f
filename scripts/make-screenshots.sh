#!/usr/bin/env bash
# Remakes the README's picture of the open menu, docs/images/menu-open.png, inside a private
# virtual desktop (tests/session/run-session.sh): a few real applications, one of them set to
# "Never Quit", the menu opened from the tray icon and the pointer on a row's quit button; and
# docs/images/menu-sway.png, the menu opened from waybar's tray on a headless sway (the sway
# menu test takes it). Run it after any change of the menu's look and commit the new pictures.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${KLOSIA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLOSIA_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"${KLOSIA_JOBS:-2}" --target readme_screenshots wayland_tests_sway
tests/session/run-session.sh -- "$build/tests/readme_screenshots" "$PWD/docs/images"
shots=$(mktemp -d)
trap 'rm -rf -- "$shots"' EXIT
KLOSIA_SESSION_ARTIFACTS=$shots tests/session/run-wayland-session.sh -- \
    "$build/tests/wayland_tests_sway" --gtest_filter='SwayMenu.*'
cp "$shots/menu-sway.png" docs/images/menu-sway.png
