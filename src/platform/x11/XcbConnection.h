#pragma once

#include <xcb/xcb.h>

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace klosia {

// Atoms the workspace reads or sends; interned together when the connection opens.
enum class X11Atom : std::size_t {
    netClientList,
    netActiveWindow,
    netSupported,
    netSupportingWmCheck,
    netCloseWindow,
    netWmWindowType,
    netWmState,
    netWmStateSkipTaskbar,
    netWmName,
    netWmPid,
    netWmIcon,
    utf8String,
    gtkApplicationId,
    kdeNetWmDesktopFile,
    wmProtocols,
    wmDeleteWindow,
    netWmPing,
    systemTray,  // _NET_SYSTEM_TRAY_S<screen>
    typeNormal,
    typeDialog,
    typeUtility,
    typeDock,
    typeDesktop,
    typeToolbar,
    typeMenu,
    typeSplash,
    typeDropdownMenu,
    typePopupMenu,
    typeTooltip,
    typeNotification,
    typeCombo,
    typeDnd,
    wmState,  // ICCCM: set by a window manager on the client windows it manages
    count,
};

// A connection of our own to the X server. It does not share Qt's, so the command-line listing
// works without a GUI application. xcb itself is thread-safe: requests may come from any thread.
class XcbConnection {
public:
    // Opens the display that DISPLAY names. nullptr, and a message in *error, when it cannot.
    static std::shared_ptr<XcbConnection> open(QString* error);

    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    xcb_window_t root() const { return root_; }
    int screenNumber() const { return screenNumber_; }
    xcb_atom_t atom(X11Atom which) const { return atoms_[static_cast<std::size_t>(which)]; }
    // X-Resource 1.2 (QueryClientIds): the server tells the pid of each local client.
    bool hasClientIds() const { return hasClientIds_; }
    // Host name as clients write it into WM_CLIENT_MACHINE.
    const std::string& hostName() const { return hostName_; }
    // The bits of a resource id that a client chooses; the rest (its resource base) tells which
    // client made the resource.
    std::uint32_t resourceIdMask() const;
    bool isBroken() const;
    int fileDescriptor() const;

    // Sends an EWMH client message about `window` to the root window, as a pager does, and waits
    // for the server's verdict. True when the server accepted it.
    bool sendRootMessage(xcb_window_t window, X11Atom type,
                         const std::array<std::uint32_t, 5>& data) const;
    // The ICCCM close request, sent to the window itself as a window manager would: the client
    // may ask the user, save, or refuse. True when the server accepted it.
    bool sendDeleteWindow(xcb_window_t window) const;
    // Raises the window and gives it the keyboard, for a desktop without a window manager.
    bool raiseAndFocus(xcb_window_t window) const;
    // Closes the connection of the client that made `resource` (KillClient, as xkill does). The
    // client's process is not signalled. True when the server accepted it.
    bool killClient(std::uint32_t resource) const;

private:
    XcbConnection(xcb_connection_t* connection, int screenNumber);
    // Waits for the verdict on a checked request; logs a refusal.
    bool accepted(xcb_void_cookie_t cookie, const char* what, std::uint32_t resource) const;
    bool setUp(QString* error);

    xcb_connection_t* connection_;
    int screenNumber_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
    std::array<xcb_atom_t, static_cast<std::size_t>(X11Atom::count)> atoms_{};
    bool hasClientIds_ = false;
    std::string hostName_;
};

}  // namespace klosia
