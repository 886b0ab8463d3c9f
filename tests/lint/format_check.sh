#!/usr/bin/env bash
# Fails when a tracked C++ file differs from the repository's .clang-format.
set -euo pipefail
cd "$1"
mapfile -t files < <(git ls-files -- '*.cpp' '*.h' 2>/dev/null || true)
if [ ${#files[@]} -eq 0 ]; then
  mapfile -t files < <(find src tests bench -name '*.cpp' -o -name '*.h' 2>/dev/null)
fi
clang-format --dry-run -Werror "${files[@]}"
echo "format: ${#files[@]} files clean"
