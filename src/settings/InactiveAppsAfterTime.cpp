#include "settings/InactiveAppsAfterTime.h"

namespace klosia {

std::optional<InactiveAppsAfterTime> inactiveAppsAfterTimeFromRawValue(std::int64_t rawValue) {
    switch (rawValue) {
        case static_cast<std::int64_t>(InactiveAppsAfterTime::minute):
            return InactiveAppsAfterTime::minute;
        case static_cast<std::int64_t>(InactiveAppsAfterTime::hour):
            return InactiveAppsAfterTime::hour;
        case static_cast<std::int64_t>(InactiveAppsAfterTime::day):
            return InactiveAppsAfterTime::day;
        default:
            return std::nullopt;
    }
}

std::string_view caseName(InactiveAppsAfterTime unit) {
    switch (unit) {
        case InactiveAppsAfterTime::minute:
            return "minute";
        case InactiveAppsAfterTime::hour:
            return "hour";
        case InactiveAppsAfterTime::day:
            return "day";
    }
    return "unknown";
}

}  // namespace klosia
