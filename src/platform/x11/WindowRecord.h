#pragma once

#include <sys/types.h>

#include <QString>

#include <cstdint>

#include "platform/x11/WindowOwner.h"

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
    // The frame a window manager without EWMH put it in (the root's child that holds it); 0
    // when none is known.
    std::uint32_t frame = 0;
    std::uint32_t transientFor = 0;  // 0 when not transient
    std::uint32_t types = 0;         // WindowTypeBit set; 0 when the property is missing
    bool skipTaskbar = false;
    bool deleteProtocol = false;  // WM_PROTOCOLS holds WM_DELETE_WINDOW
    bool pingProtocol = false;    // WM_PROTOCOLS holds _NET_WM_PING
    // The raw facts about the window's origin; `owner` is what decideOwner() made of them.
    std::uint32_t client = 0;  // resource base of the X client that made the window
    pid_t resourcePid = 0;     // from the X server (X-Resource): the local process at the other
                               // end of the client's connection; 0 when unknown
    pid_t netWmPid = 0;        // _NET_WM_PID as the client wrote it: a pid on its own host
    QString clientMachine;     // WM_CLIENT_MACHINE; empty when missing
    WindowOwner owner;
    QString title;
    QString wmInstance;
    QString wmClass;
    QString gtkApplicationId;
    QString kdeDesktopFile;
};

}  // namespace klosia
