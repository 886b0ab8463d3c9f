#include "platform/x11/XcbConnection.h"

#include <unistd.h>
#include <xcb/res.h>

#include <cstdlib>
#include <cstring>

#include "log/Vezizur.h"
#include "platform/x11/XcbReply.h"

namespace klosia {

namespace {

// Same order as X11Atom.
constexpr std::array<const char*, static_cast<std::size_t>(X11Atom::count)> kAtomNames = {
    "_NET_CLIENT_LIST",
    "_NET_ACTIVE_WINDOW",
    "_NET_SUPPORTED",
    "_NET_SUPPORTING_WM_CHECK",
    "_NET_CLOSE_WINDOW",
    "_NET_WM_WINDOW_TYPE",
    "_NET_WM_STATE",
    "_NET_WM_STATE_SKIP_TASKBAR",
    "_NET_WM_NAME",
    "_NET_WM_PID",
    "_NET_WM_ICON",
    "UTF8_STRING",
    "_GTK_APPLICATION_ID",
    "_KDE_NET_WM_DESKTOP_FILE",
    "WM_PROTOCOLS",
    "WM_DELETE_WINDOW",
    "_NET_WM_PING",
    nullptr,  // _NET_SYSTEM_TRAY_S<screen>, named at run time
    "_NET_WM_WINDOW_TYPE_NORMAL",
    "_NET_WM_WINDOW_TYPE_DIALOG",
    "_NET_WM_WINDOW_TYPE_UTILITY",
    "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_DESKTOP",
    "_NET_WM_WINDOW_TYPE_TOOLBAR",
    "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
    "_NET_WM_WINDOW_TYPE_POPUP_MENU",
    "_NET_WM_WINDOW_TYPE_TOOLTIP",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION",
    "_NET_WM_WINDOW_TYPE_COMBO",
    "_NET_WM_WINDOW_TYPE_DND",
    "WM_STATE",
};

}  // namespace

std::shared_ptr<XcbConnection> XcbConnection::open(QString* error) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (connection == nullptr || xcb_connection_has_error(connection) != 0) {
        const QByteArray display = qgetenv("DISPLAY");
        const QString message =
            display.isEmpty() ? QStringLiteral("cannot open the X display: DISPLAY is not set")
                              : QStringLiteral("cannot open the X display \"%1\"")
                                    .arg(QString::fromLocal8Bit(display));
        if (connection != nullptr) {
            xcb_disconnect(connection);
        }
        logger.log(message, VezizurLevel::error);
        if (error != nullptr) {
            *error = message;
        }
        return nullptr;
    }
    std::shared_ptr<XcbConnection> result(new XcbConnection(connection, screenNumber));
    if (!result->setUp(error)) {
        return nullptr;
    }
    return result;
}

XcbConnection::XcbConnection(xcb_connection_t* connection, int screenNumber)
    : connection_(connection), screenNumber_(screenNumber) {}

XcbConnection::~XcbConnection() {
    xcb_disconnect(connection_);
}

bool XcbConnection::setUp(QString* error) {
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; i < screenNumber_ && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    if (screens.rem <= 0 || screens.data == nullptr) {
        const QString message = QStringLiteral("the X display has no screen %1").arg(screenNumber_);
        logger.log(message, VezizurLevel::error);
        if (error != nullptr) {
            *error = message;
        }
        return false;
    }
    root_ = screens.data->root;

    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
        hostName_ = host;
    }

    // One wave: every atom and the extension's version are asked before any answer is read.
    const std::string trayName = "_NET_SYSTEM_TRAY_S" + std::to_string(screenNumber_);
    std::array<xcb_intern_atom_cookie_t, kAtomNames.size()> cookies{};
    for (std::size_t i = 0; i < kAtomNames.size(); ++i) {
        const char* name = kAtomNames[i] != nullptr ? kAtomNames[i] : trayName.c_str();
        cookies[i] =
            xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name);
    }
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection_, &xcb_res_id);
    xcb_res_query_version_cookie_t versionCookie{};
    const bool hasResource = extension != nullptr && extension->present != 0;
    if (hasResource) {
        versionCookie = xcb_res_query_version(connection_, 1, 2);
    }

    bool ok = true;
    for (std::size_t i = 0; i < kAtomNames.size(); ++i) {
        XcbReply<xcb_intern_atom_reply_t> reply(
            xcb_intern_atom_reply(connection_, cookies[i], nullptr));
        if (!reply) {
            ok = false;
            continue;
        }
        atoms_[i] = reply->atom;
    }
    if (hasResource) {
        XcbReply<xcb_res_query_version_reply_t> version(
            xcb_res_query_version_reply(connection_, versionCookie, nullptr));
        hasClientIds_ = version && (version->server_major > 1 ||
                                    (version->server_major == 1 && version->server_minor >= 2));
    }
    if (!ok) {
        const QString message = QStringLiteral("the X server did not answer while setting up");
        logger.log(message, VezizurLevel::error);
        if (error != nullptr) {
            *error = message;
        }
        return false;
    }
    if (!hasClientIds_) {
        logger.log("the X server has no X-Resource 1.2: window pids come from _NET_WM_PID only",
                   VezizurLevel::warning);
    }
    return true;
}

bool XcbConnection::isBroken() const {
    return xcb_connection_has_error(connection_) != 0;
}

int XcbConnection::fileDescriptor() const {
    return xcb_get_file_descriptor(connection_);
}

std::uint32_t XcbConnection::resourceIdMask() const {
    return xcb_get_setup(connection_)->resource_id_mask;
}

bool XcbConnection::accepted(xcb_void_cookie_t cookie, const char* what,
                             std::uint32_t resource) const {
    XcbReply<xcb_generic_error_t> error(xcb_request_check(connection_, cookie));
    if (error) {
        logger.log(std::string("the X server refused ") + what + " about " +
                       std::to_string(resource) + " (error " + std::to_string(error->error_code) +
                       ")",
                   VezizurLevel::error);
        return false;
    }
    return !isBroken();
}

bool XcbConnection::sendRootMessage(xcb_window_t window, X11Atom type,
                                    const std::array<std::uint32_t, 5>& data) const {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(type);
    for (std::size_t i = 0; i < data.size(); ++i) {
        event.data.data32[i] = data[i];
    }
    // xcb_send_event takes the 32-byte wire form of the event.
    char wire[32] = {};
    static_assert(sizeof event == sizeof wire);
    std::memcpy(wire, &event, sizeof wire);
    return accepted(
        xcb_send_event_checked(
            connection_, 0, root_,
            XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT, wire),
        "a message", window);
}

bool XcbConnection::sendDeleteWindow(xcb_window_t window) const {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(X11Atom::wmProtocols);
    event.data.data32[0] = atom(X11Atom::wmDeleteWindow);
    event.data.data32[1] = XCB_CURRENT_TIME;
    char wire[32] = {};
    static_assert(sizeof event == sizeof wire);
    std::memcpy(wire, &event, sizeof wire);
    // No event mask: the event goes to the client that made the window, whatever it selected.
    return accepted(xcb_send_event_checked(connection_, 0, window, XCB_EVENT_MASK_NO_EVENT, wire),
                    "a close request", window);
}

bool XcbConnection::raiseAndFocus(xcb_window_t window) const {
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    const xcb_void_cookie_t raise =
        xcb_configure_window_checked(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    const xcb_void_cookie_t focus = xcb_set_input_focus_checked(
        connection_, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    const bool raised = accepted(raise, "raising a window", window);
    return accepted(focus, "focusing a window", window) && raised;
}

bool XcbConnection::killClient(std::uint32_t resource) const {
    return accepted(xcb_kill_client_checked(connection_, resource), "disconnecting the client of",
                    resource);
}

}  // namespace klosia
