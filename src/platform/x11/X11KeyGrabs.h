#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace klosia {

// Passive key grabs on the root window, counted. The server does not count them: grabbing what
// a client holds already changes nothing, and its first ungrab drops the key for every holder.
// Here each grab is sent once and ungrabbed when its last holder lets go.
class X11KeyGrabs {
public:
    // A keycode under one exact modifier mask, lock bits included.
    using Grab = std::pair<std::uint8_t, std::uint16_t>;

    X11KeyGrabs(xcb_connection_t* connection, xcb_window_t root);
    ~X11KeyGrabs();
    X11KeyGrabs(const X11KeyGrabs&) = delete;
    X11KeyGrabs& operator=(const X11KeyGrabs&) = delete;

    // Takes every grab of the list for one more holder, or none of them. 0 when taken; else the
    // X error code of the first refusal (XCB_ACCESS: another client holds one), or -1 when the
    // connection broke.
    int acquire(const std::vector<Grab>& grabs);
    // One holder fewer for each grab of the list. Like acquire(), returns once the server has
    // done it: another program may take the keys right away.
    void release(const std::vector<Grab>& grabs);
    // Drops every grab and forgets every holder; returns once the server has done it.
    void clear();

    int holders(const Grab& grab) const;

private:
    // A round trip: requests sent before are done when it returns.
    void sync();

    xcb_connection_t* connection_;
    xcb_window_t root_;
    std::map<Grab, int> counts_;
};

}  // namespace klosia
