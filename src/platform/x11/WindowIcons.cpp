#include "platform/x11/WindowIcons.h"

#include "platform/x11/NetWmIcon.h"
#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbProperty.h"

namespace klosia {

std::vector<std::vector<QImage>> readWindowIcons(const XcbConnection& connection,
                                                 const std::vector<std::uint32_t>& windows) {
    std::vector<std::vector<QImage>> icons(windows.size());
    if (connection.isBroken()) {
        return icons;
    }
    xcb_connection_t* c = connection.get();
    const xcb_atom_t atom = connection.atom(X11Atom::netWmIcon);
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (const std::uint32_t window : windows) {
        cookies.push_back(askProperty(c, window, atom, kNetWmIconMaxItems));
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const PropertyReply reply = collectProperty(c, cookies[i], nullptr);
        if (!reply || reply->type != XCB_ATOM_CARDINAL) {
            continue;
        }
        // A cut list still starts with whole icons; the parser drops a partial last one.
        const std::vector<std::uint32_t> raw = propertyValues32(reply.get());
        icons[i] = netWmIconImages(raw.data(), raw.size());
    }
    return icons;
}

}  // namespace klosia
