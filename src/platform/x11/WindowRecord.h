#pragma once

#include <sys/types.h>

#include <QString>

#include <cstdint>

namespace klosia {

// _NET_WM_WINDOW_TYPE values a window may carry, as bits.
enum WindowTypeBit : std::uint32_t {
    windowTypeNormal = 1U << 0,
    windowTypeDialog = 1U << 1,
    windowTypeUtility = 1U << 2,
    windowTypeDock = 1U << 3,
    windowTypeDesktop = 1U << 4,
    windowTypeToolbar = 1U << 5,
    windowTypeMenu = 1U << 6,
    windowTypeSplash = 1U << 7,
    windowTypeDropdownMenu = 1U << 8,
    windowTypePopupMenu = 1U << 9,
    windowTypeTooltip = 1U << 10,
    windowTypeNotification = 1U << 11,
    windowTypeCombo = 1U << 12,
    windowTypeDnd = 1U << 13,
};

// What the window manager's client list tells about one top-level window, without X types, so
// the rules that sort windows into applications can be tested without a server.
struct WindowRecord {
    std::uint32_t id = 0;
    std::uint32_t transientFor = 0;  // 0 when not transient
    std::uint32_t types = 0;         // WindowTypeBit set; 0 when the property is missing
    bool skipTaskbar = false;
    bool deleteProtocol = false;  // WM_PROTOCOLS holds WM_DELETE_WINDOW
    pid_t resourcePid = 0;        // from the X server (X-Resource); 0 when unknown
    pid_t netWmPid = 0;           // _NET_WM_PID, only when the client runs on this host
    QString title;
    QString wmInstance;
    QString wmClass;
    QString gtkApplicationId;
    QString kdeDesktopFile;

    // The server's word first: it cannot lie. The property is a fallback for servers without
    // X-Resource; a remote client has neither and gets 0.
    pid_t pid() const { return resourcePid > 0 ? resourcePid : netWmPid; }
};

}  // namespace klosia
