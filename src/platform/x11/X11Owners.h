#pragma once

#include <sys/types.h>
#include <xcb/res.h>
#include <xcb/xcb.h>

#include <QString>

#include <cstdint>
#include <vector>

#include "platform/x11/WindowOwner.h"
#include "platform/x11/WindowRecord.h"

namespace klosia {

class ConnectionOwners;
class XcbConnection;

// Longest WM_CLIENT_MACHINE accepted, in 32-bit units (256 bytes).
inline constexpr std::uint32_t kMaxHostName = 64;

// WM_CLIENT_MACHINE: a host name, in the property's encoding, up to the first NUL.
QString machineName(const xcb_get_property_reply_t* reply, xcb_atom_t utf8);

// The X-Resource question "which local pid connected the client of `window`", asked and answered
// apart so that a wave of them shares one round trip; 0 when the server knows none.
xcb_res_query_client_ids_cookie_t askClientPid(xcb_connection_t* c, xcb_window_t window);
pid_t collectClientPid(xcb_connection_t* c, xcb_res_query_client_ids_cookie_t cookie);

// Each window's owner (decideOwner), once every window's client is known to `proof`.
void decideOwners(const XcbConnection& connection, std::vector<WindowRecord>* windows,
                  ConnectionOwners* proof);

// Who made `windows`, from their X-Resource pid, _NET_WM_PID and WM_CLIENT_MACHINE, read in one
// wave for all of them: for windows outside the client list (the window manager's check window,
// its frames, tray icons).
std::vector<WindowOwner> readOwners(const XcbConnection& connection,
                                    const std::vector<xcb_window_t>& windows,
                                    ConnectionOwners* proof);

}  // namespace klosia
