#!/usr/bin/env bash
# Builds the Debian package klosia_<version>_<arch>.deb (and its -dbgsym companion) from the
# project's tracked files, as they are in the work tree, in a clean copy of their own: nothing
# of an earlier build is used, and nothing is left behind but the packages.
#
#   scripts/package.sh [OUTPUT_DIR]     (default: dist/)
#
# Installs what it needs first (scripts/setup.sh). KLOSIA_JOBS sets the build's parallelism.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
output=$(realpath -m "${1:-dist}")
mkdir -p "$output"
work=$(mktemp -d "${TMPDIR:-/tmp}/klosia-package.XXXXXX")
trap 'rm -rf -- "$work"' EXIT

# The project's files, tracked or new, as the work tree has them; build directories and whatever
# .gitignore names stay out.
mkdir "$work/klosia"
git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
    tar --null -T - -cf - | tar -xf - -C "$work/klosia"

cd "$work/klosia"
DEB_BUILD_OPTIONS="parallel=${KLOSIA_JOBS:-2}" dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1 || {
    tail -n 60 "$work/build.log" >&2
    echo "package: dpkg-buildpackage failed" >&2
    exit 1
}
cd "$work"
shopt -s nullglob
packages=(*.deb)
[ ${#packages[@]} -gt 0 ] || { echo "package: no package was made" >&2; exit 1; }
mv -- "${packages[@]}" "$output/"
for package in "${packages[@]}"; do
    echo "$output/$package"
done
