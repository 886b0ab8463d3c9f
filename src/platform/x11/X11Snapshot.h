#pragma once

#include <sys/types.h>

#include <cstdint>
#include <vector>

#include "platform/x11/WindowRecord.h"

namespace klosia {

class XcbConnection;

// The window manager's view of the desktop at one moment.
struct X11Snapshot {
    // False when the root window could not be read (broken connection): the rest is empty.
    bool valid = false;
    // When the reading began, in clock ticks since boot (the clock of ProcStat::startTime): a
    // process that started later cannot be the one the server named.
    std::uint64_t takenAt = 0;
    // A live EWMH window manager: _NET_SUPPORTING_WM_CHECK names a window that names itself.
    bool managed = false;
    // No one keeps _NET_ACTIVE_WINDOW (no EWMH window manager, or one that does not list it in
    // _NET_SUPPORTED): activeWindow comes from the input focus.
    bool activeFromFocus = false;
    // It handles _NET_CLOSE_WINDOW (listed in _NET_SUPPORTED).
    bool closeRequests = false;
    // Who runs the window manager: the owner of its check window, or of the frames of a manager
    // without EWMH; unknown without one.
    WindowOwner windowManager;
    // _NET_CLIENT_LIST order (oldest first); without an EWMH window manager, the client windows
    // of X11TopLevels in stacking order.
    std::vector<WindowRecord> windows;
    std::uint32_t activeWindow = 0;
    std::vector<pid_t> trayPids;  // local processes with an icon embedded in the system tray

    // Reads the client list and every window's properties in pipelined waves: all requests of
    // a wave go out before the first reply is read, so the cost hardly grows with the number of
    // windows. Windows that vanish meanwhile are left out. Each window's owner is decided by
    // decideOwner(), with ConnectionOwners checking the processes it names.
    static X11Snapshot take(const XcbConnection& connection, bool withTray);

    // Which of `windows` still exist.
    static std::vector<std::uint32_t> existing(const XcbConnection& connection,
                                               const std::vector<std::uint32_t>& windows);
};

}  // namespace klosia
