#include "settings/InactiveAppsAfter.h"

#include "settings/JsonValues.h"

namespace klosia {

namespace {

constexpr QLatin1StringView kEnabledKey("enabled");
constexpr QLatin1StringView kAmountKey("amount");
constexpr QLatin1StringView kUnitKey("unit");

std::nullopt_t fail(QString* error, const QString& why) {
    if (error != nullptr) {
        *error = why;
    }
    return std::nullopt;
}

}  // namespace

QString InactiveAppsAfter::description() const {
    return QStringLiteral("enabled: %1, amount: %2, unit: %3")
        .arg(enabled ? QStringLiteral("true") : QStringLiteral("false"))
        .arg(amount)
        .arg(QString::fromUtf8(caseName(unit)));
}

QJsonObject InactiveAppsAfter::toJson() const {
    QJsonObject object;
    object.insert(kEnabledKey, enabled);
    object.insert(kAmountKey, QJsonValue(static_cast<qint64>(amount)));
    object.insert(kUnitKey, QJsonValue(static_cast<qint64>(rawValue(unit))));
    return object;
}

std::optional<InactiveAppsAfter> InactiveAppsAfter::fromJson(const QJsonValue& json,
                                                             QString* error) {
    if (!json.isObject()) {
        return fail(error, QStringLiteral("not a JSON object"));
    }
    const QJsonObject object = json.toObject();

    const std::optional<bool> enabled = jsonBool(object.value(kEnabledKey));
    if (!enabled) {
        return fail(error, QStringLiteral("\"enabled\" is missing or not a Boolean"));
    }
    const std::optional<std::int64_t> amount = jsonInt64(object.value(kAmountKey));
    if (!amount) {
        return fail(error, QStringLiteral("\"amount\" is missing or not a 64-bit integer"));
    }
    const std::optional<std::int64_t> unitCode = jsonInt64(object.value(kUnitKey));
    if (!unitCode) {
        return fail(error, QStringLiteral("\"unit\" is missing or not an integer"));
    }
    const std::optional<InactiveAppsAfterTime> unit = inactiveAppsAfterTimeFromRawValue(*unitCode);
    if (!unit) {
        return fail(error, QStringLiteral("\"unit\" %1 is not a known unit").arg(*unitCode));
    }

    InactiveAppsAfter record;
    record.enabled = *enabled;
    record.amount = *amount;
    record.unit = *unit;
    return record;
}

}  // namespace klosia
