#pragma once

#include <QByteArray>
#include <QJsonValue>

#include <optional>

namespace klosia {

// Parses a JSON text whose top level may be any value (true, "text", 12, {...}), as settings
// store single values. nullopt when the text is not exactly one valid JSON value.
std::optional<QJsonValue> parseJsonFragment(const QByteArray& text);

// The JSON text of one value in compact form (a bare literal for scalars).
QByteArray jsonFragmentText(const QJsonValue& value);

}  // namespace klosia
