#pragma once

#include <QString>

#include "core/AppInfo.h"
#include "platform/linux/FileUserDefaults.h"

namespace klosia::test {

// Counts this version's first start as done in the session's settings, so that the settings
// alert stays away from tests about other things.
inline bool skipFirstRunAlert() {
    FileUserDefaults defaults(FileUserDefaults::defaultPath());
    defaults.set(QStringLiteral("kUserdefaultsFirstRunCount_") + QLatin1String(appinfo::kVersion),
                 std::int64_t{1});
    return defaults.synchronize();
}

// Remembers "leave them off" for the notifications-off alert, for sessions that run no
// notification server, where the alert would take the focus from what the test looks at.
inline bool skipNotificationsOffAlert() {
    FileUserDefaults defaults(FileUserDefaults::defaultPath());
    defaults.set(QStringLiteral("kUserdefaultsNotificationsDontShow"), true);
    return defaults.synchronize();
}

}  // namespace klosia::test
