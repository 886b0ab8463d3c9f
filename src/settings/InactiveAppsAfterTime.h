#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace klosia {

// The unit of the inactivity rule. The raw value is only the unit's code in stored records:
// `day` is stored as 8640, and settings already written with that code must keep loading, so it
// stays. How long a unit lasts is the inactivity check's business, not this code's.
enum class InactiveAppsAfterTime : std::int64_t {
    minute = 60,
    hour = 3600,
    day = 8640,
};

// The unit whose stored code this is; any other number is no unit.
std::optional<InactiveAppsAfterTime> inactiveAppsAfterTimeFromRawValue(std::int64_t rawValue);

constexpr std::int64_t rawValue(InactiveAppsAfterTime unit) {
    return static_cast<std::int64_t>(unit);
}

// "minute", "hour" or "day".
std::string_view caseName(InactiveAppsAfterTime unit);

}  // namespace klosia
