#pragma once

#include <xcb/xcb.h>

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <cstdint>
#include <functional>
#include <vector>

namespace klosia::test {

// One window of the virtual desktop as the X server sees it.
struct DesktopWindow {
    xcb_window_t id = XCB_WINDOW_NONE;
    xcb_window_t topLevel = XCB_WINDOW_NONE;  // its ancestor that is a child of the root
    QRect geometry;                           // in root coordinates
    bool viewable = false;
    bool overrideRedirect = false;
    pid_t pid = 0;  // of the client that made it (X-Resource)
};

// Looks at and drives the private desktop of a session test from outside, as a user would:
// through the X server and xdotool. Only for the display the session started.
class DesktopDriver {
public:
    DesktopDriver();
    ~DesktopDriver();
    DesktopDriver(const DesktopDriver&) = delete;
    DesktopDriver& operator=(const DesktopDriver&) = delete;

    bool isConnected() const { return connection_ != nullptr; }

    // Every window of the tree, with the pid of its client.
    std::vector<DesktopWindow> windows() const;
    std::vector<DesktopWindow> windowsOf(pid_t pid) const;
    // The icon a process has docked in the tray: its viewable window inside another client's
    // top-level window, or, on a tray that draws StatusNotifierItems itself (Xfce's), the
    // tray's own window while the process's item is the only one registered. Empty when it has
    // none.
    QRect trayIconOf(pid_t pid) const;
    // Every client window docked inside another client's top-level window: the tray's icons.
    std::vector<DesktopWindow> trayIcons() const;
    // The process's viewable top-level windows that the window manager does not manage (popups).
    std::vector<DesktopWindow> popupsOf(pid_t pid) const;
    QRect screenGeometry() const;
    // The window the window manager names as active (_NET_ACTIVE_WINDOW), and its client's pid.
    pid_t activeWindowPid() const;
    // Whether this client could grab `keysym` with `modifiers` (X modifier mask) on the root
    // window now, that is whether no other client holds that combination. Leaves no grab.
    bool canGrabKey(std::uint32_t keysym, std::uint16_t modifiers) const;

    // A press and release of the first button at a root position, through xdotool.
    static bool click(const QPoint& position);
    // A press on a tray icon, with this button, repeated until `happened` holds: a tray that
    // draws an item itself answers presses on it only once it has read the item, a moment
    // after the item registered. Each press is given 1.5 s to show its effect.
    static bool pressTrayIcon(const QRect& icon, const std::function<bool()>& happened,
                              int button = 1);
    static bool key(const QString& keys);
    // Any other xdotool command; true when it succeeded.
    static bool xdotool(const QStringList& arguments);
    // Whether a visible window of `pid` has exactly this title (its EWMH name).
    static bool hasWindowTitled(pid_t pid, const QString& title);
    // Saves the whole screen as PNG; false when it cannot.
    static bool screenshot(const QString& path);
    // What a screenshot's name starts with on this session's desktop ("xfce-", "kwin-"; nothing
    // on openbox), so that the runs on each desktop keep their own.
    static QString desktopTag();

    // The process of Xfce's status tray, which draws StatusNotifierItems and their menus
    // itself; 0 when the session's tray is another one.
    pid_t statusTrayPid() const;

private:
    QRect statusNotifierIconOf(pid_t pid) const;

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = XCB_WINDOW_NONE;
};

// Runs `program` in the background and kills it (and waits) on destruction.
class BackgroundProgram {
public:
    BackgroundProgram(
        const QString& program, const QStringList& arguments,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());
    ~BackgroundProgram();
    BackgroundProgram(const BackgroundProgram&) = delete;
    BackgroundProgram& operator=(const BackgroundProgram&) = delete;

    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
    QProcess& process() { return process_; }

private:
    QProcess process_;
};

}  // namespace klosia::test
