#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/RunningApplication.h"
#include "platform/x11/WindowRecord.h"

namespace klosia {

// The windows of one owner (a process, or an X client without one) that make it an application.
struct ProcessWindows {
    static constexpr std::size_t none = static_cast<std::size_t>(-1);

    WindowOwner owner;
    ActivationPolicy policy = ActivationPolicy::accessory;
    // Indices into the window list, in its order: the owner's own top-level windows and the
    // transient windows that fold into them.
    std::vector<std::size_t> windows;
    // The window that stands for the application (names, icon, activation): its first window a
    // task bar shows, else its first window; `none` for a process known only by its tray icon.
    std::size_t primary = none;
};

struct WindowGrouping {
    // In order of each owner's first window in the list; tray-only processes last.
    std::vector<ProcessWindows> processes;
    // The owner of the active window (a transient counts for its leader); unknown when none.
    WindowOwner active;
};

// Window types that never make an application: panels, desktops, menus, tooltips and the like.
bool isNeverCounted(std::uint32_t types);
// A window a task bar would show, unless it is transient for another listed window: not
// skip-taskbar, not a utility window, not one of the never-counted types.
bool isTaskbarWindow(const WindowRecord& window);

// Whether `owner` is part of the desktop itself: the window manager (the owner of the window
// that _NET_SUPPORTING_WM_CHECK names, `windowManager`) or the owner of any dock, panel or
// desktop window (a panel, a file manager drawing the desktop). Such an owner is never listed
// and never quit, even when it also has ordinary windows.
bool isDesktopOwner(const std::vector<WindowRecord>& windows, const WindowOwner& windowManager,
                    const WindowOwner& owner);

// Sorts the client list into applications. Windows of `ownPid` and of the desktop's own
// processes are left out. `trayPids` are processes with an icon in the system tray: those
// without a listed window become accessory applications.
WindowGrouping groupWindowsByProcess(const std::vector<WindowRecord>& windows,
                                     std::uint32_t activeWindow, pid_t ownPid,
                                     const std::vector<pid_t>& trayPids = {},
                                     const WindowOwner& windowManager = {});

// The windows a polite quit of `owner` asks to close: its own counted windows, except dialogs
// that are transient for another of its windows (they go with their owner). Indices, in list
// order.
std::vector<std::size_t> windowsToClose(const std::vector<WindowRecord>& windows,
                                        const WindowOwner& owner);

}  // namespace klosia
