#!/usr/bin/env bash
# Builds and runs every benchmark; each prints its figures as a ratio against a named baseline
# measured in the same run. The snapshot, refresh-stall and menu-opening benchmarks run in the
# virtual desktop by themselves.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
build=${KLOSIA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLOSIA_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"${KLOSIA_JOBS:-2}" \
  --target rebuild_bench cpu_sample_bench snapshot_bench refresh_stall_bench menu_open_bench \
  inactive_idle_bench wayland_list_bench klosia_fixture qt_fixture
for bench in rebuild_bench cpu_sample_bench snapshot_bench refresh_stall_bench menu_open_bench \
  inactive_idle_bench wayland_list_bench; do
  echo "== $bench"
  "$build/bench/$bench"
done
