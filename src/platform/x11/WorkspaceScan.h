#pragma once

#include <QString>

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "platform/RunningApplication.h"
#include "platform/Workspace.h"
#include "platform/x11/ApplicationKey.h"
#include "platform/x11/WindowIcons.h"

namespace klosia {

// One application as a scan of the desktop found it: plain values, made on whatever thread
// scanned and handed to the workspace's thread.
struct ScannedApplication {
    ApplicationKey key;
    QString bundleIdentifier;
    QString name;
    QString iconName;
    ActivationPolicy policy = ActivationPolicy::regular;
    pid_t helperOf = 0;  // a windowless helper's application
    std::uint32_t iconWindow = 0;
    // The windows of an application without a local process (it is known by them alone).
    std::vector<std::uint32_t> windows;
    // Its windows that answer pings (_NET_WM_PING).
    std::vector<std::uint32_t> pingWindows;
    // The icon window's _NET_WM_ICON, when the scan read icons; null otherwise.
    WindowIcon windowIcon;
};

// What one full look at the desktop found.
struct WorkspaceScan {
    // False when the window list could not be read (broken connection): nothing else is set.
    bool valid = false;
    // A live EWMH window manager keeps the client list and the active window.
    bool managed = false;
    // Nobody keeps _NET_ACTIVE_WINDOW: the active window is the one with the input focus.
    bool activeFromFocus = false;
    // _NET_ACTIVE_WINDOW when the scan read it, or the focused client window.
    std::uint32_t activeWindow = 0;
    // Applications with windows in list order, then the windowless helpers.
    std::vector<ScannedApplication> applications;
    // The application each counted window belongs to (a transient counts for its leader's), and
    // each one's frame where a manager without EWMH made one, so that a focus change needs no
    // new scan.
    std::unordered_map<std::uint32_t, ApplicationKey> windowOwners;
    // The windows of the listed applications, by WM_CLASS (class, then instance) and title.
    std::vector<ListedWindow> windows;
};

}  // namespace klosia
