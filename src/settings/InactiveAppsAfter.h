#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstdint>
#include <optional>

#include "settings/InactiveAppsAfterTime.h"

namespace klosia {

// The rule for quitting applications that stayed in the background: after `amount` `unit`s.
// Users hold it through std::shared_ptr; a change is saved by assigning the record back to the
// preferences.
class InactiveAppsAfter {
public:
    bool enabled = false;
    std::int64_t amount = 1;
    InactiveAppsAfterTime unit = InactiveAppsAfterTime::hour;

    bool operator==(const InactiveAppsAfter&) const = default;

    // "enabled: false, amount: 1, unit: hour", the form of the log lines.
    QString description() const;

    // {"enabled": Boolean, "amount": integer, "unit": the unit's code}.
    QJsonObject toJson() const;

    // All three keys are required with exactly those types, and "unit" must be a known code;
    // anything else fails the whole record. On failure `error`, when given, says why.
    static std::optional<InactiveAppsAfter> fromJson(const QJsonValue& json,
                                                     QString* error = nullptr);
};

}  // namespace klosia
