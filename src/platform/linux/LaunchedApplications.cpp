#include "platform/linux/LaunchedApplications.h"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "log/Vezizur.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/LaunchedApplication.h"
#include "platform/linux/UnitProcesses.h"

namespace klosia {

namespace {

struct Found {
    const UnitGroup* group = nullptr;
    UnitProcess main;
};

bool isRoot(const std::vector<UnitProcess>& roots, pid_t pid, std::uint64_t startTime) {
    return std::any_of(roots.begin(), roots.end(), [&](const UnitProcess& root) {
        return root.pid == pid && root.startTime == startTime;
    });
}

std::string describe(const LaunchedApplication& app) {
    return app.bundleIdentifier().toStdString() + " pid " +
           std::to_string(app.processIdentifier()) + " (unit " + app.unitName().toStdString() + ")";
}

}  // namespace

LaunchedApplications::LaunchedApplications(QDBusConnection bus, QString procRoot,
                                           std::unique_ptr<DesktopEntries> entries)
    : bus_(std::move(bus)),
      procRoot_(std::move(procRoot)),
      entries_(entries ? std::move(entries) : std::make_unique<DesktopEntries>()) {
    rescan(false);
}

LaunchedApplications::~LaunchedApplications() = default;

QString LaunchedApplications::description() {
    return QStringLiteral(
        "launched applications (systemd scopes; the GNOME Shell extension is not enabled)");
}

std::vector<RunningApplicationPtr> LaunchedApplications::runningApplications() {
    rescan(true);
    return snapshot();
}

std::vector<RunningApplicationPtr> LaunchedApplications::knownApplications() {
    return snapshot();
}

std::vector<RunningApplicationPtr> LaunchedApplications::snapshot() const {
    return {apps_.begin(), apps_.end()};
}

void LaunchedApplications::rescan(bool announce) {
    const LaunchedApplication::Clock::time_point now = LaunchedApplication::Clock::now();
    const std::map<QString, UnitGroup> groups = UnitProcesses::scan(procRoot_, ::getuid());

    std::vector<std::shared_ptr<LaunchedApplication>> next;
    std::vector<std::shared_ptr<LaunchedApplication>> ended;
    for (const std::shared_ptr<LaunchedApplication>& app : apps_) {
        const auto group = groups.find(app->unitName());
        if (group != groups.end() && isRoot(UnitProcesses::roots(group->second),
                                            app->processIdentifier(), app->startTime())) {
            app->lookForQuitAgain(group->second, now);
            next.push_back(app);
        } else {
            app->markTerminated();
            ended.push_back(app);
        }
    }

    std::vector<Found> fresh;
    for (const auto& [name, group] : groups) {
        const bool listed = std::any_of(
            next.begin(), next.end(), [&name](const auto& app) { return app->unitName() == name; });
        if (listed || UnitProcesses::holds(group, ::getpid())) {
            continue;
        }
        const std::vector<UnitProcess> roots = UnitProcesses::roots(group);
        if (!roots.empty()) {  // none only in a tree whose parents loop, which no kernel writes
            fresh.push_back({&group, roots.front()});
        }
    }
    // Units that one look finds together are listed in the order they started.
    std::sort(fresh.begin(), fresh.end(), [](const Found& a, const Found& b) {
        return a.main.startTime != b.main.startTime ? a.main.startTime < b.main.startTime
                                                    : a.main.pid < b.main.pid;
    });
    std::vector<std::shared_ptr<LaunchedApplication>> launched;
    bool reloaded = false;
    for (const Found& found : fresh) {
        const QString& id = found.group->unit.desktopId();
        std::optional<DesktopEntry> entry = entries_->entry(id);
        if (!entry && !reloaded) {
            entries_->reload();  // an application installed since the last look
            reloaded = true;
            entry = entries_->entry(id);
        }
        if (!entry) {
            continue;  // not an installed application: a name alone is no proof of one
        }
        LaunchedApplication::Identity identity{
            entry->id, entry->name.isEmpty() ? entry->id : entry->name, entry->iconName};
        auto app = std::make_shared<LaunchedApplication>(bus_, procRoot_, std::move(identity),
                                                         *found.group, found.main, now);
        next.push_back(app);
        launched.push_back(std::move(app));
    }
    apps_ = std::move(next);

    if (!announce) {
        return;
    }
    for (const std::shared_ptr<LaunchedApplication>& app : ended) {
        logger.log("application ended: " + describe(*app), VezizurLevel::info);
        postDidTerminate(app);
    }
    for (const std::shared_ptr<LaunchedApplication>& app : launched) {
        logger.log("application launched: " + describe(*app), VezizurLevel::info);
        postDidLaunch(app);
    }
}

}  // namespace klosia
