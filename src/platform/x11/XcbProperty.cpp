#include "platform/x11/XcbProperty.h"

#include <algorithm>

namespace klosia {

namespace {

constexpr std::uint8_t kBadWindow = 3;

}  // namespace

xcb_get_property_cookie_t askProperty(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property,
                                      std::uint32_t length) {
    return xcb_get_property(c, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, length);
}

PropertyReply collectProperty(xcb_connection_t* c, xcb_get_property_cookie_t cookie,
                              bool* vanished) {
    xcb_generic_error_t* rawError = nullptr;
    PropertyReply reply(xcb_get_property_reply(c, cookie, &rawError));
    const XcbReply<xcb_generic_error_t> error(rawError);
    if (error && error->error_code == kBadWindow && vanished != nullptr) {
        *vanished = true;
    }
    if (!reply || reply->type == XCB_ATOM_NONE) {
        return nullptr;
    }
    return reply;
}

std::vector<std::uint32_t> propertyValues32(const xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->format != 32) {
        return {};
    }
    const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    const int count = xcb_get_property_value_length(reply) / 4;
    return {data, data + std::max(count, 0)};
}

std::uint32_t propertyFirstValue(const xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->format != 32 || xcb_get_property_value_length(reply) < 4) {
        return 0;
    }
    return *static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
}

std::string_view propertyBytes(const xcb_get_property_reply_t* reply) {
    if (reply == nullptr || reply->format != 8) {
        return {};
    }
    const int length = xcb_get_property_value_length(reply);
    return {static_cast<const char*>(xcb_get_property_value(reply)),
            static_cast<std::size_t>(std::max(length, 0))};
}

QString propertyText(const xcb_get_property_reply_t* reply, xcb_atom_t utf8) {
    const std::string_view raw = propertyBytes(reply);
    if (raw.empty()) {
        return {};
    }
    const auto size = static_cast<qsizetype>(raw.size());
    if (reply->type == XCB_ATOM_STRING) {
        return QString::fromLatin1(raw.data(), size);
    }
    QString result = QString::fromUtf8(raw.data(), size);
    if (reply->bytes_after > 0 || reply->type != utf8) {
        while (result.endsWith(QChar::ReplacementCharacter)) {
            result.chop(1);
        }
    }
    return result;
}

QString propertyIdentifier(const xcb_get_property_reply_t* reply, xcb_atom_t utf8) {
    if (reply == nullptr || reply->bytes_after > 0) {
        return {};
    }
    QString result = propertyText(reply, utf8);
    const qsizetype nul = result.indexOf(QChar(0));
    return nul >= 0 ? result.left(nul) : result;
}

}  // namespace klosia
