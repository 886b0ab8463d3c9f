#pragma once

#include <QString>

#include <optional>

namespace klosia {

// What a press on a tip does: nothing, or open the preferences window.
enum class RotateTipAction {
    none,
    preferences,
};

inline QString rawValue(RotateTipAction action) {
    return action == RotateTipAction::preferences ? QStringLiteral("preferences")
                                                  : QStringLiteral("none");
}

// Exact match only; any other text is no action at all.
inline std::optional<RotateTipAction> rotateTipActionFromRawValue(const QString& raw) {
    if (raw == QLatin1String("none")) {
        return RotateTipAction::none;
    }
    if (raw == QLatin1String("preferences")) {
        return RotateTipAction::preferences;
    }
    return std::nullopt;
}

}  // namespace klosia
