#include "platform/x11/X11TrayIcons.h"

#include <unordered_set>
#include <utility>

#include "platform/x11/X11Owners.h"
#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbReply.h"

namespace klosia {

namespace {

constexpr int kMaxTrayDepth = 3;  // tray owner -> embedding window -> icon

}  // namespace

std::vector<pid_t> readTrayPids(const XcbConnection& connection,
                                const std::vector<xcb_window_t>& clientList, xcb_window_t owner,
                                ConnectionOwners* proof) {
    xcb_connection_t* c = connection.get();
    const std::uint32_t mask = xcb_get_setup(c)->resource_id_mask;
    const std::uint32_t ownerBase = owner & ~mask;
    std::vector<xcb_window_t> level{owner};
    for (const xcb_window_t w : clientList) {
        if ((w & ~mask) == ownerBase && w != owner) {
            level.push_back(w);
        }
    }
    std::vector<xcb_window_t> icons;
    for (int depth = 0; depth < kMaxTrayDepth && !level.empty(); ++depth) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        cookies.reserve(level.size());
        for (const xcb_window_t w : level) {
            cookies.push_back(xcb_query_tree(c, w));
        }
        std::vector<xcb_window_t> next;
        for (const xcb_query_tree_cookie_t cookie : cookies) {
            xcb_generic_error_t* rawError = nullptr;
            const XcbReply<xcb_query_tree_reply_t> reply(
                xcb_query_tree_reply(c, cookie, &rawError));
            const XcbReply<xcb_generic_error_t> error(rawError);
            if (!reply) {
                continue;
            }
            const xcb_window_t* children = xcb_query_tree_children(reply.get());
            const int count = xcb_query_tree_children_length(reply.get());
            for (int i = 0; i < count; ++i) {
                ((children[i] & ~mask) == ownerBase ? next : icons).push_back(children[i]);
            }
        }
        level = std::move(next);
    }
    // A tray icon of a remote or proxied client has no local process: it is left out, as a
    // window of one would be listed without a pid.
    std::vector<pid_t> pids;
    std::unordered_set<pid_t> seen;
    for (const WindowOwner& iconOwner : readOwners(connection, icons, proof)) {
        if (iconOwner.isProcess() && seen.insert(iconOwner.pid).second) {
            pids.push_back(iconOwner.pid);
        }
    }
    return pids;
}

}  // namespace klosia
