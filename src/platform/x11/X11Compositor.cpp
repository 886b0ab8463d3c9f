#include "platform/x11/X11Compositor.h"

#include <string>

#include "log/Vezizur.h"
#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbReply.h"

namespace klosia {

X11Compositor::X11Compositor(std::shared_ptr<XcbConnection> connection)
    : connection_(std::move(connection)) {}

bool X11Compositor::isRunning() {
    if (!connection_ || connection_->isBroken()) {
        return false;
    }
    xcb_connection_t* c = connection_->get();
    if (selection_ == XCB_ATOM_NONE) {
        const std::string name = "_NET_WM_CM_S" + std::to_string(connection_->screenNumber());
        const XcbReply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
            nullptr));
        if (!atom) {
            logger.log("compositor: cannot intern " + name, VezizurLevel::error);
            return false;
        }
        selection_ = atom->atom;
    }
    const XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection_), nullptr));
    return owner && owner->owner != XCB_WINDOW_NONE;
}

std::unique_ptr<Compositor> createX11Compositor(QString* error) {
    std::shared_ptr<XcbConnection> connection = XcbConnection::open(error);
    if (!connection) {
        return nullptr;
    }
    return std::make_unique<X11Compositor>(std::move(connection));
}

}  // namespace klosia
