#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Klosia needs.
# Idempotent: packages already present are skipped, and apt is not touched at all
# when nothing is missing. Works as root or through sudo.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config git
  qt6-base-dev qt6-svg-dev libqt6svg6
  libxcb1-dev libxcb-res0-dev libxcb-ewmh-dev libxcb-icccm4-dev libxcb-keysyms1-dev
  libglib2.0-dev libcanberra-dev libicu-dev libxkbcommon-dev
  libwayland-dev libwayland-bin plasma-wayland-protocols  # compositors' window lists
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-format clang-tidy clang-tidy-16
  clang-16  # the lint's quick parse that finds which files clang-tidy may check together
  # the Debian package (scripts/package.sh) and its checks
  debhelper dpkg-dev lintian appstream desktop-file-utils
  # run
  qt6-qpa-plugins libcanberra0 sound-theme-freedesktop hicolor-icon-theme
  xdg-utils  # xdg-open: hands the mail and web addresses Klosia opens to the desktop
  libglib2.0-bin  # gio launch: the autostart test starts the written entry as desktops do
  # the virtual desktop session and the tests that drive it
  xvfb xauth openbox tint2 dunst dbus dbus-bin dbus-daemon
  xfwm4 xfce4-panel xfconf  # the Xfce desktop of run-session.sh --xfce
  kwin-x11  # KWin's X11 window manager of run-session.sh --kwin
  x11-utils x11-apps xterm xdotool wmctrl procps
  at-spi2-core  # the accessibility bus: session tests find controls as a screen reader does
  # the headless Wayland session (run-wayland-session.sh) and its clients
  sway foot qt6-wayland xwayland kwin-wayland mutter
  libgtk-4-dev  # a GTK 4 client that refuses to close
  weston  # weston-terminal: a terminal that runs on KWin's virtual output, where foot crashes
  wtype grim waybar  # keys typed into, screenshots of, and a tray for the Wayland sessions
  util-linux  # setpriv: the process tests start a process of another user; unshare: pid namespaces
  faketime  # moves the wall clock of the program alone in the inactivity test
  socat  # a proxy X display: clients behind it look like ssh -X forwarded ones
  gjs  # runs the GNOME Shell extension's tests
  gnome-shell  # the headless GNOME session the extension and the program are tested in
  python3  # reads the tray selection owner (libX11 through ctypes) in run-session.sh
  fonts-dejavu-core
  fonts-noto-color-emoji  # the menu's tips in the virtual desktop's screenshots
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages are installed"
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  run() { "$@"; }
elif command -v sudo >/dev/null 2>&1; then
  run() { sudo "$@"; }
else
  echo "setup: missing packages (${missing[*]}) and neither root nor sudo is available" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
run apt-get update -qq
run env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
