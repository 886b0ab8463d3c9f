#include "platform/x11/X11TopLevels.h"

#include <xcb/xcb.h>

#include <algorithm>

#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbProperty.h"
#include "platform/x11/XcbReply.h"

namespace klosia {

namespace {

// Frame, title bar and border windows between a frame and its client: three levels are more than
// any manager uses, and the search stays bounded whatever a client nests.
constexpr int kMaxFrameDepth = 3;
// Parents walked up from the focus: the client's own subwindows, then its frame.
constexpr int kMaxFocusDepth = 8;

struct Child {
    xcb_window_t window;
    xcb_get_window_attributes_cookie_t attributes;
    xcb_get_property_cookie_t wmState;
};

// The children of every window of `parents`, read in one wave; windows that vanished have none.
std::vector<std::vector<xcb_window_t>> childrenOf(xcb_connection_t* c,
                                                  const std::vector<xcb_window_t>& parents) {
    std::vector<xcb_query_tree_cookie_t> cookies;
    cookies.reserve(parents.size());
    for (const xcb_window_t parent : parents) {
        cookies.push_back(xcb_query_tree(c, parent));
    }
    std::vector<std::vector<xcb_window_t>> result(parents.size());
    for (std::size_t i = 0; i < parents.size(); ++i) {
        xcb_generic_error_t* rawError = nullptr;
        const XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, cookies[i], &rawError));
        const XcbReply<xcb_generic_error_t> error(rawError);
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            result[i].assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
    }
    return result;
}

// Which of `windows` carry WM_STATE, in one wave.
std::vector<bool> haveWmState(const XcbConnection& connection,
                              const std::vector<xcb_window_t>& windows) {
    xcb_connection_t* c = connection.get();
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (const xcb_window_t w : windows) {
        cookies.push_back(askProperty(c, w, connection.atom(X11Atom::wmState), 1));
    }
    std::vector<bool> result;
    result.reserve(windows.size());
    for (const xcb_get_property_cookie_t cookie : cookies) {
        const PropertyReply reply = collectProperty(c, cookie, nullptr);
        result.push_back(reply && reply->type != XCB_ATOM_NONE);
    }
    return result;
}

}  // namespace

X11TopLevels X11TopLevels::read(const XcbConnection& connection) {
    X11TopLevels result;
    xcb_connection_t* c = connection.get();
    const auto rootCookie = xcb_get_window_attributes(c, connection.root());
    const std::vector<xcb_window_t> children = childrenOf(c, {connection.root()}).front();
    std::vector<Child> wave;
    wave.reserve(children.size());
    for (const xcb_window_t w : children) {
        wave.push_back({w, xcb_get_window_attributes(c, w),
                        askProperty(c, w, connection.atom(X11Atom::wmState), 1)});
    }
    const XcbReply<xcb_get_window_attributes_reply_t> root(
        xcb_get_window_attributes_reply(c, rootCookie, nullptr));
    result.redirected = root && (root->all_event_masks & XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT) != 0;

    // Mapped top-level windows, except override-redirect ones (menus, tooltips).
    std::vector<xcb_window_t> topLevels;
    std::vector<bool> managed;
    for (const Child& child : wave) {
        xcb_generic_error_t* rawError = nullptr;
        const XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, child.attributes, &rawError));
        const XcbReply<xcb_generic_error_t> error(rawError);
        const PropertyReply state = collectProperty(c, child.wmState, nullptr);
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
            attributes->override_redirect == 0 &&
            attributes->_class == XCB_WINDOW_CLASS_INPUT_OUTPUT) {
            topLevels.push_back(child.window);
            managed.push_back(state && state->type != XCB_ATOM_NONE);
        }
    }
    if (!result.redirected) {
        // Nobody manages the desktop: every top-level window is a client's own.
        result.clients = topLevels;
        return result;
    }

    // The client window of each frame: the first window with WM_STATE, level by level.
    std::vector<std::uint32_t> clientOf(topLevels.size(), 0);
    std::vector<std::pair<std::size_t, xcb_window_t>> level;  // (top-level index, window)
    for (std::size_t i = 0; i < topLevels.size(); ++i) {
        if (managed[i]) {
            clientOf[i] = topLevels[i];  // a client the manager did not reparent
        } else {
            level.emplace_back(i, topLevels[i]);
        }
    }
    for (int depth = 0; depth < kMaxFrameDepth && !level.empty(); ++depth) {
        std::vector<xcb_window_t> parents;
        parents.reserve(level.size());
        for (const auto& entry : level) {
            parents.push_back(entry.second);
        }
        const std::vector<std::vector<xcb_window_t>> below = childrenOf(c, parents);
        std::vector<std::pair<std::size_t, xcb_window_t>> next;
        for (std::size_t j = 0; j < level.size(); ++j) {
            for (const xcb_window_t w : below[j]) {
                next.emplace_back(level[j].first, w);
            }
        }
        std::vector<xcb_window_t> windows;
        windows.reserve(next.size());
        for (const auto& entry : next) {
            windows.push_back(entry.second);
        }
        const std::vector<bool> states = haveWmState(connection, windows);
        level.clear();
        for (std::size_t j = 0; j < next.size(); ++j) {
            const std::size_t top = next[j].first;
            if (clientOf[top] != 0) {
                continue;
            }
            if (states[j]) {
                clientOf[top] = next[j].second;
            } else {
                level.push_back(next[j]);
            }
        }
    }
    for (std::size_t i = 0; i < topLevels.size(); ++i) {
        if (clientOf[i] == 0) {
            continue;  // the manager's own window, or a frame left empty
        }
        result.clients.push_back(clientOf[i]);
        if (clientOf[i] != topLevels[i]) {
            result.frameOf.emplace(clientOf[i], topLevels[i]);
        }
    }
    return result;
}

std::uint32_t focusedWindow(const XcbConnection& connection,
                            const std::function<bool(std::uint32_t window)>& known) {
    xcb_connection_t* c = connection.get();
    const XcbReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT) {
        return 0;
    }
    xcb_window_t window = focus->focus;
    for (int depth = 0; depth < kMaxFocusDepth && window != XCB_NONE; ++depth) {
        if (window == connection.root()) {
            return 0;
        }
        if (known(window)) {
            return window;
        }
        const XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree) {
            return 0;
        }
        window = tree->parent;
    }
    return 0;
}

}  // namespace klosia
