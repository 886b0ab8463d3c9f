#pragma once

#include <sys/types.h>
#include <xcb/xcb.h>

#include <vector>

namespace klosia {

class ConnectionOwners;
class XcbConnection;

// The local processes with an icon in the system tray: the windows of other clients embedded in
// the tray owner's windows (the selection owner itself and its client-list windows, the panel),
// at most three levels down. A tray icon of a remote or proxied client has no local process and
// is left out, as a window of one would be listed without a pid.
std::vector<pid_t> readTrayPids(const XcbConnection& connection,
                                const std::vector<xcb_window_t>& clientList, xcb_window_t owner,
                                ConnectionOwners* proof);

}  // namespace klosia
