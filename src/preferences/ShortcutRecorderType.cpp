#include "preferences/ShortcutRecorderType.h"

#include "settings/Preferences.h"

namespace klosia {

QString rawValue(ShortcutRecorderType type) {
    switch (type) {
        case ShortcutRecorderType::activate:
            return QStringLiteral("activate");
        case ShortcutRecorderType::quit:
            return QStringLiteral("quit");
        case ShortcutRecorderType::force:
            return QStringLiteral("force");
    }
    return {};
}

std::optional<ShortcutRecorderType> shortcutRecorderTypeFromRawValue(const QString& raw) {
    for (ShortcutRecorderType type : {ShortcutRecorderType::activate, ShortcutRecorderType::quit,
                                      ShortcutRecorderType::force}) {
        if (rawValue(type) == raw) {
            return type;
        }
    }
    return std::nullopt;
}

std::shared_ptr<GlobalShortcut> shortcut(const Preferences& preferences,
                                         ShortcutRecorderType type) {
    switch (type) {
        case ShortcutRecorderType::activate:
            return preferences.shortcutActivate();
        case ShortcutRecorderType::quit:
            return preferences.shortcutQuit();
        case ShortcutRecorderType::force:
            return preferences.shortcutForceQuit();
    }
    return nullptr;
}

void setShortcut(Preferences& preferences, ShortcutRecorderType type,
                 std::shared_ptr<GlobalShortcut> value) {
    switch (type) {
        case ShortcutRecorderType::activate:
            preferences.setShortcutActivate(std::move(value));
            return;
        case ShortcutRecorderType::quit:
            preferences.setShortcutQuit(std::move(value));
            return;
        case ShortcutRecorderType::force:
            preferences.setShortcutForceQuit(std::move(value));
            return;
    }
}

}  // namespace klosia
