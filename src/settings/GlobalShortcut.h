#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <optional>

#include "hotkeys/Key.h"
#include "hotkeys/ModifierFlags.h"

namespace klosia {

// One global keyboard shortcut as the user recorded it. Users hold it through std::shared_ptr;
// a change is saved by assigning the record back to the preferences. Aggregate, so factory values
// can be written as GlobalShortcut{.key = Key::q, .modifiers = ModifierFlags::control}.
class GlobalShortcut {
public:
    std::optional<Key> key = std::nullopt;
    std::optional<ModifierFlags> modifiers = std::nullopt;
    bool enabled = false;  // whether the shortcut is to be registered
    bool deleted = false;  // whether the user removed the combination

    bool operator==(const GlobalShortcut&) const = default;

    // "key: Q, modifiers: ⌃⌥, enabled: true, deleted: false"; an absent key or modifier set
    // leaves nothing after its label.
    QString description() const;

    // The key caps the recorder shows: the modifiers' symbols then the key's text, one entry per
    // user-perceived character (so "↩︎" stays whole and "fn" gives two caps). Empty when
    // deleted.
    QStringList symbols() const;

    // "key" (Carbon key code) and "modifiers" (Carbon mask) only when present, then "enabled"
    // and "deleted".
    QJsonObject toJson() const;

    // "enabled" and "deleted" must be Booleans or the whole record fails (`error`, when given,
    // says why). "key" and "modifiers" are read leniently: a missing value, a value that is not
    // an unsigned 32-bit integer, or a key code that names no key leaves that field absent.
    static std::optional<GlobalShortcut> fromJson(const QJsonValue& json, QString* error = nullptr);
};

}  // namespace klosia
