#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test (unit, widget, virtual-session, lint).
# Ends with CTest's summary; the exit status is CTest's.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${KLOSIA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLOSIA_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"${KLOSIA_JOBS:-2}"
cd "$build"
# Two at a time: clang-tidy (which keeps both cores busy by itself) starts first, and the other
# tests, which mostly wait on their private desktops, run one after another beside it.
exec ctest -j"${KLOSIA_TEST_JOBS:-2}" --output-on-failure --timeout 900 "$@"
