#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace klosia {

class GlobalShortcut;
class Preferences;

// Which of the three global shortcuts a recorder writes.
enum class ShortcutRecorderType { activate, quit, force };

// "activate", "quit", "force".
QString rawValue(ShortcutRecorderType type);
std::optional<ShortcutRecorderType> shortcutRecorderTypeFromRawValue(const QString& raw);

// The record of `preferences` that a recorder of this type shows and replaces.
std::shared_ptr<GlobalShortcut> shortcut(const Preferences& preferences, ShortcutRecorderType type);
void setShortcut(Preferences& preferences, ShortcutRecorderType type,
                 std::shared_ptr<GlobalShortcut> value);

}  // namespace klosia
