#include "model/AppListRebuild.h"

#include <algorithm>

#include "model/AppException.h"
#include "settings/Preferences.h"

namespace klosia {

AppListSettings AppListSettings::from(const Preferences& preferences) {
    return AppListSettings{preferences.showBackgroundApps(), preferences.groupBackgroundApps(),
                           preferences.deselectApps()};
}

namespace {

bool isBackground(ActivationPolicy policy) {
    return policy == ActivationPolicy::accessory || policy == ActivationPolicy::prohibited;
}

bool checkedByPolicy(bool remembered, MenuAppPolicy policy) {
    switch (policy) {
        case MenuAppPolicy::always:
            return true;
        case MenuAppPolicy::never:
            return false;
        case MenuAppPolicy::standard:
            break;
    }
    return remembered;
}

// A helper's load belongs to the entry of its application, shown or not, so the figure does
// not change when background applications are shown or hidden.
void attachHelpers(const std::vector<MenuAppPtr>& list,
                   const std::vector<RunningApplicationPtr>& helpers) {
    if (helpers.empty()) {
        return;
    }
    QHash<pid_t, MenuApp*> byPid;
    for (const MenuAppPtr& entry : list) {
        for (const RunningApplicationPtr& process : entry->apps) {
            if (process && process->helperOf() == 0) {
                byPid.insert(process->processIdentifier(), entry.get());
            }
        }
    }
    for (const RunningApplicationPtr& helper : helpers) {
        MenuApp* entry = byPid.value(helper->helperOf(), nullptr);
        if (entry != nullptr &&
            std::find(entry->apps.begin(), entry->apps.end(), helper) == entry->apps.end()) {
            entry->helpers.push_back(helper);
        }
    }
}

}  // namespace

std::vector<MenuAppPtr> rebuildAppList(const std::vector<RunningApplicationPtr>& running,
                                       bool& firstLaunch, DeselectedApps& deselectedApps,
                                       const AppListSettings& settings,
                                       const AppPolicies& policies) {
    std::vector<MenuAppPtr> list;
    list.reserve(running.size());
    // The first entry of each identifier, whatever kind of application made it: the only one
    // a background process may join.
    QHash<QString, MenuApp*> firstEntry;  // the list keeps the entries alive
    firstEntry.reserve(static_cast<qsizetype>(running.size()));

    const auto append = [&](MenuAppPtr entry) {
        MenuApp*& first = firstEntry[entry->bundleIdentifier];
        if (first == nullptr) {
            first = entry.get();
        }
        list.push_back(std::move(entry));
    };
    // The default selection on a first rebuild, the remembered one afterwards.
    const auto unpolicied = [&](const QString& identifier) {
        return firstLaunch ? !settings.deselectApps : !deselectedApps.contains(identifier);
    };

    std::vector<RunningApplicationPtr> helpers;
    for (const RunningApplicationPtr& app : running) {
        if (!app) {
            continue;
        }
        if (app->helperOf() != 0) {
            helpers.push_back(app);
        }
        const ActivationPolicy kind = app->activationPolicy();
        const bool background = isBackground(kind);
        if (kind != ActivationPolicy::regular && !(background && settings.showBackgroundApps)) {
            continue;
        }
        QString name = app->localizedName();
        if (name.isEmpty()) {
            continue;
        }
        QString identifier = app->bundleIdentifier();
        if (identifier.isEmpty() || isAppException(identifier)) {
            continue;
        }
        const auto stored = policies.constFind(identifier);
        const bool hasPolicy = stored != policies.constEnd();

        // Only a background process joins an entry, and only the first one of its identifier.
        if (background && settings.groupBackgroundApps) {
            const auto earlier = firstEntry.constFind(identifier);
            if (earlier != firstEntry.constEnd()) {
                // The earlier entry keeps its own check state and policy.
                earlier.value()->apps.push_back(app);
                continue;
            }
        }
        if (hasPolicy) {
            const bool checked =
                checkedByPolicy(!deselectedApps.contains(identifier), stored.value());
            append(std::make_shared<MenuApp>(checked, std::move(name), std::move(identifier),
                                             std::vector{app}, stored.value()));
            continue;
        }
        const bool checked = unpolicied(identifier);
        auto entry = std::make_shared<MenuApp>(checked, std::move(name), identifier,
                                               std::vector{app}, MenuAppPolicy::standard);
        // Only regular applications change the remembered selection.
        if (!background) {
            if (checked) {
                deselectedApps.remove(identifier);
            } else {
                deselectedApps.insert(identifier, entry);
            }
        }
        append(std::move(entry));
    }
    firstLaunch = false;
    attachHelpers(list, helpers);

    // A plain case-sensitive comparison of UTF-16 code units: "Zoom" before "calendar".
    std::stable_sort(list.begin(), list.end(), [](const MenuAppPtr& a, const MenuAppPtr& b) {
        return a->name.compare(b->name, Qt::CaseSensitive) < 0;
    });
    return list;
}

}  // namespace klosia
