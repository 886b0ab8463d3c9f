#pragma once

#include <vector>

#include "model/AppListRebuild.h"

namespace klosia {

class Preferences;
class UserDefaults;

// What the menu keeps between rebuilds of its list, and the row callbacks that change it. The
// menu window controller owns one for the whole run and rebuilds after every change it reports.
class AppListState {
public:
    // Policies live in `defaults`; without one, in the standard user defaults of the moment.
    explicit AppListState(UserDefaults* defaults = nullptr);

    // Reads the stored policies once, then rebuilds; every call sees the latest saved map.
    std::vector<MenuAppPtr> rebuild(const std::vector<RunningApplicationPtr>& running,
                                    const Preferences& preferences);
    std::vector<MenuAppPtr> rebuild(const std::vector<RunningApplicationPtr>& running,
                                    const AppListSettings& settings);

    // A row's check box: unchecked entries are remembered by identifier. Nothing is rebuilt.
    void didCheck(const MenuAppPtr& app, bool selected);
    // Stores the policy for the entry's identifier (also "Standard", which then stays as a
    // member). The caller rebuilds afterwards.
    void didChangePolicy(const MenuAppPtr& app, MenuAppPolicy policy);
    // The deselect preference changed: the next rebuild applies the default selection again.
    void deselectAppsDidChange() { firstLaunch = true; }

    bool firstLaunch = true;
    DeselectedApps deselectedApps;

private:
    UserDefaults& defaults() const;

    UserDefaults* defaults_;
};

}  // namespace klosia
