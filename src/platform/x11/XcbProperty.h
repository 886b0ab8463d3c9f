#pragma once

#include <xcb/xcb.h>

#include <QString>

#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/x11/XcbReply.h"

namespace klosia {

// Reading window properties: a request goes out with ask() and its reply comes back with
// collect(), so that many requests can be in flight before the first reply is read.
using PropertyReply = XcbReply<xcb_get_property_reply_t>;

// The checked form: a vanished window's BadWindow comes back with the reply instead of landing
// in the event queue. `length` is the longest value accepted, in 32-bit units.
xcb_get_property_cookie_t askProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                      std::uint32_t length);

// The reply, or nullptr when the property is missing. Sets *vanished on BadWindow.
PropertyReply collectProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie,
                              bool* vanished);

// The value as 32-bit items; empty unless the format is 32.
std::vector<std::uint32_t> propertyValues32(const xcb_get_property_reply_t* reply);
// The first 32-bit item, 0 when there is none.
std::uint32_t propertyFirstValue(const xcb_get_property_reply_t* reply);
// The value as bytes; empty unless the format is 8.
std::string_view propertyBytes(const xcb_get_property_reply_t* reply);

// Text in the encoding the property's type names; a value cut at the limit loses its last,
// possibly partial, character rather than showing a replacement mark.
QString propertyText(const xcb_get_property_reply_t* reply, xcb_atom_t utf8);

// Identifiers are all or nothing: a cut one would name something else. Up to the first NUL.
QString propertyIdentifier(const xcb_get_property_reply_t* reply, xcb_atom_t utf8);

}  // namespace klosia
