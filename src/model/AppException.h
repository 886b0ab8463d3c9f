#pragma once

#include <QString>

#include <array>

#include "core/AppInfo.h"

namespace klosia {

// Bundle identifiers the list never shows, whatever their policy.
enum class AppException {
    finder,  // on Linux the desktop itself is already left out by its window type: never matches
    klosia,  // this program
};

inline constexpr std::array<AppException, 2> kAppExceptions = {AppException::finder,
                                                               AppException::klosia};

inline QLatin1String rawValue(AppException exception) {
    return exception == AppException::klosia ? QLatin1String(appinfo::kApplicationId)
                                             : QLatin1String("com.apple.finder");
}

inline bool isAppException(const QString& bundleIdentifier) {
    for (const AppException exception : kAppExceptions) {
        if (bundleIdentifier == rawValue(exception)) {
            return true;
        }
    }
    return false;
}

}  // namespace klosia
