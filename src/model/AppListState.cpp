#include "model/AppListState.h"

#include "platform/MemoryUserDefaults.h"
#include "settings/Preferences.h"

namespace klosia {

AppListState::AppListState(UserDefaults* defaults) : defaults_(defaults) {}

UserDefaults& AppListState::defaults() const {
    return defaults_ != nullptr ? *defaults_ : standardUserDefaults();
}

std::vector<MenuAppPtr> AppListState::rebuild(const std::vector<RunningApplicationPtr>& running,
                                              const Preferences& preferences) {
    return rebuild(running, AppListSettings::from(preferences));
}

std::vector<MenuAppPtr> AppListState::rebuild(const std::vector<RunningApplicationPtr>& running,
                                              const AppListSettings& settings) {
    return rebuildAppList(running, firstLaunch, deselectedApps, settings,
                          loadAppPolicies(defaults()));
}

void AppListState::didCheck(const MenuAppPtr& app, bool selected) {
    if (!app) {
        return;
    }
    if (selected) {
        deselectedApps.remove(app->bundleIdentifier);
    } else {
        deselectedApps.insert(app->bundleIdentifier, app);
    }
}

void AppListState::didChangePolicy(const MenuAppPtr& app, MenuAppPolicy policy) {
    if (!app) {
        return;
    }
    AppPolicies policies = loadAppPolicies(defaults());
    policies.insert(app->bundleIdentifier, policy);
    saveAppPolicies(policies, defaults());
}

}  // namespace klosia
