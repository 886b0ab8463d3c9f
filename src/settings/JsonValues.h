#pragma once

#include <QJsonValue>

#include <cstdint>
#include <optional>

namespace klosia {

// Strict readers for stored JSON: a value of another type gives nothing instead of a converted
// default, so a damaged setting is detected rather than silently read as 0 or false.
//
// Numbers: QJsonValue reports every number as Double, but Qt 6 keeps a parsed integer that fits
// qint64 exactly (also 1.0 and 1e3, which the parser stores as integers), so values above 2^53
// survive. A number that is fractional, infinite or outside the target range gives nothing.

// A JSON number with an exact integral value that fits int64 (1.5 and 2^63 do not).
std::optional<std::int64_t> jsonInt64(const QJsonValue& value);

// A JSON integer in 0 ... 2^32-1 (negative numbers and larger ones do not fit).
std::optional<std::uint32_t> jsonUInt32(const QJsonValue& value);

// A JSON true or false; numbers and strings are not Booleans.
std::optional<bool> jsonBool(const QJsonValue& value);

}  // namespace klosia
