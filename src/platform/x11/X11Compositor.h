#pragma once

#include <QString>

#include <xcb/xcb.h>

#include <memory>

#include "platform/Compositor.h"

namespace klosia {

class XcbConnection;

// A compositing manager of an X screen owns the selection _NET_WM_CM_S<screen> (EWMH, "Window
// Manager Protocols": compositing managers). One round trip per question.
class X11Compositor final : public Compositor {
public:
    explicit X11Compositor(std::shared_ptr<XcbConnection> connection);

    // False when the server cannot be asked (connection broken, atom unknown).
    bool isRunning() override;

private:
    std::shared_ptr<XcbConnection> connection_;
    xcb_atom_t selection_ = XCB_ATOM_NONE;
};

// A compositor check on the display that DISPLAY names, over a connection of its own; nullptr
// and a message in *error when no X display can be opened.
std::unique_ptr<Compositor> createX11Compositor(QString* error);

}  // namespace klosia
