#pragma once

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

namespace klosia {

class XcbConnection;

// The applications' windows of a desktop without an EWMH window manager, which keeps no client
// list. With no window manager at all they are the root's mapped children. A window manager that
// does not speak EWMH (a small twm-like one) is known by holding SubstructureRedirect on the
// root; it reparents each client window into a frame of its own and sets WM_STATE on the client
// window (ICCCM), so the applications are the windows with WM_STATE inside the frames, and the
// frames, with whatever else on the root has none, are the manager's.
struct X11TopLevels {
    // Some client holds SubstructureRedirect on the root: a window manager runs.
    bool redirected = false;
    // The client windows, in stacking order.
    std::vector<std::uint32_t> clients;
    // Each framed client window's frame (the root's child that holds it).
    std::unordered_map<std::uint32_t, std::uint32_t> frameOf;

    static X11TopLevels read(const XcbConnection& connection);
};

// The window that has the keyboard, or its nearest ancestor below the root that `known`
// accepts (a client window, or a frame): for desktops that keep no _NET_ACTIVE_WINDOW. 0 when
// the focus is nowhere (None, PointerRoot) or in none of them.
std::uint32_t focusedWindow(const XcbConnection& connection,
                            const std::function<bool(std::uint32_t window)>& known);

}  // namespace klosia
