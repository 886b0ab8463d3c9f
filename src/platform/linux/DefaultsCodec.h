#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>

#include "platform/UserDefaults.h"

namespace klosia {

// The stored form of the settings file:
//   {"format": 1, "values": {"key": value, ...}}
// where a value is a JSON Boolean, a JSON integer (64-bit), a JSON string, {"json": <value>} for
// data that holds JSON text, or {"data": base64} for any other data.
//
// Data is written as {"json": ...} only when the compact JSON text of the value is byte for byte
// the data itself, so that a person can read and edit the file and every reader of the data
// (which parses it as JSON) still gets exactly the bytes that were stored. Both forms are read.
class DefaultsCodec {
public:
    // The value a member stands for; nullopt for a shape this program does not know.
    static std::optional<DefaultsValue> decode(const QJsonValue& value);
    static QJsonValue encode(const DefaultsValue& value);

    // The "values" object of a whole file, or nullopt with `damage` saying what is wrong when
    // the content is not a file of this form.
    static std::optional<QJsonObject> parseFile(const QByteArray& content, QString& damage);
    static QByteArray serializeFile(const QJsonObject& values);
};

}  // namespace klosia
