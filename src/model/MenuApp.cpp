#include "model/MenuApp.h"

#include <algorithm>

namespace klosia {

MenuApp::MenuApp(bool isSelected, QString appName, QString identifier,
                 std::vector<RunningApplicationPtr> processes, MenuAppPolicy appPolicy)
    : selected(isSelected),
      name(std::move(appName)),
      bundleIdentifier(std::move(identifier)),
      apps(std::move(processes)),
      policy(appPolicy) {}

QString MenuApp::title() const {
    if (apps.size() < 2) {
        return name;
    }
    return name + QStringLiteral(" (") + QString::number(apps.size()) + QLatin1Char(')');
}

QString MenuApp::quitUnavailableReason() const {
    const bool none = !apps.empty() && std::all_of(apps.begin(), apps.end(), [](const auto& app) {
        return app && !app->quitUnavailableReason().isEmpty();
    });
    return none ? apps.front()->quitUnavailableReason() : QString();
}

std::vector<pid_t> MenuApp::loadPids() const {
    std::vector<pid_t> pids;
    for (const auto* group : {&apps, &helpers}) {
        for (const RunningApplicationPtr& process : *group) {
            const pid_t pid = process ? process->processIdentifier() : 0;
            if (pid > 0 && std::find(pids.begin(), pids.end(), pid) == pids.end()) {
                pids.push_back(pid);
            }
        }
    }
    return pids;
}

}  // namespace klosia
