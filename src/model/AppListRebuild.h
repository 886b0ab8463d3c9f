#pragma once

#include <QHash>
#include <QString>

#include <vector>

#include "model/AppPolicies.h"
#include "model/MenuApp.h"
#include "platform/RunningApplication.h"

namespace klosia {

class Preferences;

// Entries the user left unchecked, by bundle identifier; in memory only.
using DeselectedApps = QHash<QString, MenuAppPtr>;

// The preferences a rebuild reads.
struct AppListSettings {
    bool showBackgroundApps = false;
    bool groupBackgroundApps = true;
    bool deselectApps = false;

    static AppListSettings from(const Preferences& preferences);
};

// Builds the menu's entries from the workspace's applications (in workspace order): drops
// what is never listed, applies policies and check state, folds background processes into the
// first earlier entry of their identifier when grouping is on, and sorts by name (stable,
// case-sensitive, UTF-16 code units). Updates `deselectedApps` for regular applications
// without a policy and clears `firstLaunch`. Linear in the number of applications apart from
// the sort.
std::vector<MenuAppPtr> rebuildAppList(const std::vector<RunningApplicationPtr>& running,
                                       bool& firstLaunch, DeselectedApps& deselectedApps,
                                       const AppListSettings& settings,
                                       const AppPolicies& policies);

}  // namespace klosia
