#!/usr/bin/env bash
# Builds the Debian package from the source tree into a temporary directory and checks it: what it
# installs, its computed dependencies, its desktop entry and AppStream metadata, lintian, and that
# the program it holds runs.
#
#   package_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/klosia-package-test.XXXXXX")
trap 'rm -rf -- "$work"' EXIT
failures=0
fail() {
    echo "package test: $*" >&2
    failures=$((failures + 1))
}

"$source_dir/scripts/package.sh" "$work/dist" >"$work/packages"
version=$(sed -n 's/^project(Klosia VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
package="$work/dist/klosia_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb"
[ -f "$package" ] || { echo "package test: no $package" >&2; exit 1; }

# What a user needs is in it, under /usr, and nothing of the tests.
contents=$(dpkg-deb -c "$package" | awk '{print $6}')
for file in ./usr/bin/klosia \
    ./usr/share/applications/org.klosia.Klosia.desktop \
    ./usr/share/icons/hicolor/scalable/apps/org.klosia.Klosia.svg \
    ./usr/share/icons/hicolor/scalable/apps/org.klosia.Klosia-symbolic.svg \
    ./usr/share/metainfo/org.klosia.Klosia.metainfo.xml \
    ./usr/share/man/man1/klosia.1.gz \
    ./usr/share/klosia/sounds/klosia.wav \
    ./usr/share/klosia/sounds/quit-single.wav \
    ./usr/share/gnome-shell/extensions/klosia@klosia.org/metadata.json \
    ./usr/share/gnome-shell/extensions/klosia@klosia.org/extension.js \
    ./usr/share/doc/klosia/copyright; do
    grep -qxF "$file" <<<"$contents" || fail "the package lacks $file"
done
if grep -E 'fixture|tests_|session_tests|_bench|reparenting_wm' <<<"$contents"; then
    fail "the package holds what only the tests need"
fi
if grep -vE '^\./(usr(/|$))?$|^\./usr/' <<<"$contents"; then
    fail "the package installs outside /usr"
fi

# The dependencies were computed from the shared libraries, the run-time programs added.
depends=$(dpkg-deb -f "$package" Depends)
for wanted in libqt6widgets6 libxcb1 libcanberra0 qt6-qpa-plugins xdg-utils; do
    grep -q "$wanted" <<<"$depends" || fail "Depends lacks $wanted: $depends"
done

# The files in it pass their own validators.
dpkg-deb -x "$package" "$work/root"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/org.klosia.Klosia.metainfo.xml" >"$work/appstream" 2>&1 ||
    { cat "$work/appstream" >&2; fail "appstreamcli does not validate the metadata"; }
grep -q "<release version=\"$version\"" "$work/root/usr/share/metainfo/org.klosia.Klosia.metainfo.xml" ||
    fail "the metadata has no release $version"
desktop-file-validate "$work/root/usr/share/applications/org.klosia.Klosia.desktop" ||
    fail "desktop-file-validate refuses the desktop entry"
# Debian 12's GNOME Shell (43) loads the extension only when its metadata names that version.
metadata="$work/root/usr/share/gnome-shell/extensions/klosia@klosia.org/metadata.json"
python3 -c 'import json, sys; m = json.load(open(sys.argv[1])); sys.exit(not (m["uuid"] == "klosia@klosia.org" and "43" in m["shell-version"]))' "$metadata" ||
    fail "the extension's metadata does not name klosia@klosia.org for GNOME Shell 43"
# KWin grants its window list to the program an installed entry names by its absolute path.
entry=$(cat "$work/root/usr/share/applications/org.klosia.Klosia.desktop")
grep -qx "Exec=/usr/bin/klosia" <<<"$entry" || fail "the desktop entry's Exec is not /usr/bin/klosia"
grep -qx "X-KDE-Wayland-Interfaces=org_kde_plasma_window_management" <<<"$entry" ||
    fail "the desktop entry does not ask KWin for its window list"
grep -q "update" <<<"$(dpkg-deb -f "$package" Description)" ||
    fail "the description does not say that the update check is off"

# lintian: no errors (it reports no warnings either today; CONTRIBUTING.md says so).
if ! lintian --fail-on error "$package" >"$work/lintian" 2>&1; then
    cat "$work/lintian" >&2
    fail "lintian reports errors"
fi

# The program from the package runs.
reported=$("$work/root/usr/bin/klosia" --version) || fail "the packaged program does not run"
[ "$reported" = "Klosia $version" ] || fail "the packaged program says '$reported'"

if [ "$failures" -gt 0 ]; then
    exit 1
fi
echo "package test: $(basename "$package") is fine"
