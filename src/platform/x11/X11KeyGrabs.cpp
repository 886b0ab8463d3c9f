#include "platform/x11/X11KeyGrabs.h"

#include <algorithm>

#include "platform/x11/XcbReply.h"

namespace klosia {

X11KeyGrabs::X11KeyGrabs(xcb_connection_t* connection, xcb_window_t root)
    : connection_(connection), root_(root) {}

X11KeyGrabs::~X11KeyGrabs() {
    clear();
}

int X11KeyGrabs::acquire(const std::vector<Grab>& grabs) {
    // Only grabs nobody holds yet go to the server, all of them before any answer is read.
    std::vector<std::pair<Grab, xcb_void_cookie_t>> sent;
    for (const Grab& grab : grabs) {
        const bool sentAlready = std::find_if(sent.begin(), sent.end(), [&](const auto& s) {
                                     return s.first == grab;
                                 }) != sent.end();
        if (counts_.find(grab) == counts_.end() && !sentAlready) {
            sent.emplace_back(grab,
                              xcb_grab_key_checked(connection_, 0, root_, grab.second, grab.first,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    int errorCode = 0;
    std::vector<Grab> taken;
    for (const auto& [grab, cookie] : sent) {
        const XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
        if (!error) {
            taken.push_back(grab);
        } else if (errorCode == 0) {
            errorCode = error->error_code;
        }
    }
    if (errorCode == 0 && xcb_connection_has_error(connection_) != 0) {
        errorCode = -1;
    }
    if (errorCode == 0) {
        for (const Grab& grab : grabs) {
            ++counts_[grab];
        }
        return 0;
    }
    // All or nothing: a half-taken combination would work with some lock states only.
    for (const Grab& grab : taken) {
        xcb_ungrab_key(connection_, grab.first, root_, grab.second);
    }
    sync();
    return errorCode;
}

void X11KeyGrabs::release(const std::vector<Grab>& grabs) {
    bool ungrabbed = false;
    for (const Grab& grab : grabs) {
        const auto it = counts_.find(grab);
        if (it != counts_.end() && --it->second == 0) {
            counts_.erase(it);
            xcb_ungrab_key(connection_, grab.first, root_, grab.second);
            ungrabbed = true;
        }
    }
    if (ungrabbed) {
        sync();
    }
}

void X11KeyGrabs::clear() {
    for (const auto& [grab, count] : counts_) {
        xcb_ungrab_key(connection_, grab.first, root_, grab.second);
    }
    counts_.clear();
    sync();
}

void X11KeyGrabs::sync() {
    const XcbReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

int X11KeyGrabs::holders(const Grab& grab) const {
    const auto it = counts_.find(grab);
    return it == counts_.end() ? 0 : it->second;
}

}  // namespace klosia
