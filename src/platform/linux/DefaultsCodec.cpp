#include "platform/linux/DefaultsCodec.h"

#include <QJsonDocument>
#include <QVariant>

#include <cstdint>
#include <utility>

#include "core/JsonFragment.h"

namespace klosia {

namespace {

constexpr std::int64_t kFormat = 1;
const QString kFormatKey = QStringLiteral("format");
const QString kValuesKey = QStringLiteral("values");
const QString kDataKey = QStringLiteral("data");
const QString kJsonKey = QStringLiteral("json");

// JSON numbers without fraction or exponent that fit in 64 bits are kept as integers by Qt's
// parser; everything else is a double and not one of our values.
bool isInteger(const QJsonValue& value) {
    return value.isDouble() && value.toVariant().typeId() == QMetaType::LongLong;
}

std::optional<DefaultsValue> decodeData(const QJsonObject& object) {
    if (object.size() != 1) {
        return std::nullopt;
    }
    if (object.contains(kJsonKey)) {
        // Whatever JSON a person wrote here, the data is its compact text, which every reader
        // parses as that same value.
        return DefaultsValue{jsonFragmentText(object.value(kJsonKey))};
    }
    const QJsonValue encoded = object.value(kDataKey);
    if (!encoded.isString()) {
        return std::nullopt;
    }
    auto decoded = QByteArray::fromBase64Encoding(encoded.toString().toLatin1(),
                                                  QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return std::nullopt;
    }
    return DefaultsValue{std::move(decoded.decoded)};
}

QJsonValue encodeData(const QByteArray& bytes) {
    // Only an exact round trip: text with other spacing, key order or number spelling would
    // come back as different bytes, so it stays base64.
    if (const auto json = parseJsonFragment(bytes); json && jsonFragmentText(*json) == bytes) {
        return QJsonObject{{kJsonKey, *json}};
    }
    return QJsonObject{{kDataKey, QString::fromLatin1(bytes.toBase64())}};
}

}  // namespace

std::optional<DefaultsValue> DefaultsCodec::decode(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Bool:
            return DefaultsValue{value.toBool()};
        case QJsonValue::Double:
            if (isInteger(value)) {
                return DefaultsValue{static_cast<std::int64_t>(value.toInteger())};
            }
            return std::nullopt;
        case QJsonValue::String:
            return DefaultsValue{value.toString()};
        case QJsonValue::Object:
            return decodeData(value.toObject());
        default:
            return std::nullopt;
    }
}

QJsonValue DefaultsCodec::encode(const DefaultsValue& value) {
    return std::visit(
        [](const auto& held) -> QJsonValue {
            using T = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<T, QByteArray>) {
                return encodeData(held);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return QJsonValue(static_cast<qint64>(held));
            } else {
                return QJsonValue(held);
            }
        },
        value);
}

std::optional<QJsonObject> DefaultsCodec::parseFile(const QByteArray& content, QString& damage) {
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(content, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        damage = QStringLiteral("not JSON: %1 at byte %2")
                     .arg(parseError.errorString())
                     .arg(parseError.offset);
        return std::nullopt;
    }
    if (!document.isObject()) {
        damage = QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    const QJsonObject root = document.object();
    const QJsonValue format = root.value(kFormatKey);
    if (!isInteger(format) || format.toInteger() != kFormat) {
        damage = QStringLiteral("no \"format\" %1").arg(kFormat);
        return std::nullopt;
    }
    const QJsonValue values = root.value(kValuesKey);
    if (!values.isObject()) {
        damage = QStringLiteral("no \"values\" object");
        return std::nullopt;
    }
    return values.toObject();
}

QByteArray DefaultsCodec::serializeFile(const QJsonObject& values) {
    const QJsonObject root{{kFormatKey, QJsonValue(static_cast<qint64>(kFormat))},
                           {kValuesKey, values}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

}  // namespace klosia
