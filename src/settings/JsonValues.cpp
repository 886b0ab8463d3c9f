#include "settings/JsonValues.h"

#include <limits>

namespace klosia {

std::optional<std::int64_t> jsonInt64(const QJsonValue& value) {
    if (!value.isDouble()) {
        return std::nullopt;
    }
    // toInteger() returns its argument when the number is not an exact int64; the argument is a
    // valid result too, so a second call with another default tells the two cases apart.
    constexpr qint64 kFirstDefault = 0;
    constexpr qint64 kSecondDefault = 1;
    const qint64 first = value.toInteger(kFirstDefault);
    if (first != kFirstDefault) {
        return first;
    }
    if (value.toInteger(kSecondDefault) == kFirstDefault) {
        return kFirstDefault;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> jsonUInt32(const QJsonValue& value) {
    const std::optional<std::int64_t> integer = jsonInt64(value);
    if (!integer || *integer < 0 || *integer > std::numeric_limits<std::uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*integer);
}

std::optional<bool> jsonBool(const QJsonValue& value) {
    if (!value.isBool()) {
        return std::nullopt;
    }
    return value.toBool();
}

}  // namespace klosia
