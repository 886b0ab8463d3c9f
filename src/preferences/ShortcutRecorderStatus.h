#pragma once

#include <optional>

namespace klosia {

// What a recorder shows: its key caps, "Type Shortcut" or "Record Shortcut".
enum class ShortcutRecorderStatus : int { set = 0, type = 1, record = 2 };

constexpr int rawValue(ShortcutRecorderStatus status) {
    return static_cast<int>(status);
}

constexpr std::optional<ShortcutRecorderStatus> shortcutRecorderStatusFromRawValue(int raw) {
    if (raw < 0 || raw > 2) {
        return std::nullopt;
    }
    return static_cast<ShortcutRecorderStatus>(raw);
}

}  // namespace klosia
