#pragma once

#include <QString>

#include <array>

#include "core/AppInfo.h"

namespace klosia {

// Bundle identifiers the list never shows, whatever their policy.
enum class AppException {
    // The desktop itself. Its raw value stays "com.apple.finder", which stored policy files may
    // name, and on Linux no application carries it. The Linux counterpart is a rule of the X
    // workspace instead of an identifier: the window manager (the owner of the window that
    // _NET_SUPPORTING_WM_CHECK names) and every process owning a dock, panel or desktop window
    // (a file manager drawing the desktop) are never listed and never quit, even when they also
    // have ordinary windows. They never reach this list.
    finder,
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
