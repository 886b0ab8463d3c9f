#include "platform/x11/WorkspaceScanner.h"

#include <unistd.h>

#include <algorithm>
#include <unordered_set>
#include <utility>

#include "platform/linux/BackgroundProcesses.h"
#include "platform/linux/ProcessInfo.h"
#include "platform/x11/WindowFilter.h"
#include "platform/x11/X11Snapshot.h"
#include "platform/x11/XcbConnection.h"

namespace klosia {

WorkspaceScanner::WorkspaceScanner(std::shared_ptr<XcbConnection> connection, bool withIcons)
    : connection_(std::move(connection)), withIcons_(withIcons) {}

WorkspaceScanner::~WorkspaceScanner() = default;

WorkspaceScan WorkspaceScanner::scan() {
    WorkspaceScan result;
    const X11Snapshot snapshot = X11Snapshot::take(*connection_, true);
    if (!snapshot.valid) {
        return result;
    }
    result.valid = true;
    result.managed = snapshot.managed;
    result.activeFromFocus = snapshot.activeFromFocus;
    result.activeWindow = snapshot.activeWindow;
    // Read after the snapshot, so that the start times tell reused pids apart (ApplicationKey).
    const std::unordered_map<pid_t, ProcStat> processes = ProcessInfo::statAll();
    const WindowGrouping grouping = groupWindowsByProcess(
        snapshot.windows, 0, ::getpid(), snapshot.trayPids, snapshot.windowManager);
    // An entry installed meanwhile may name applications that had none.
    if (std::any_of(known_.begin(), known_.end(),
                    [](const auto& entry) { return !entry.second.identity.fromDesktopEntry; })) {
        identities_.reloadIfDue();
    }

    std::map<ApplicationKey, Known> known;
    std::unordered_map<pid_t, std::size_t> indexByPid;
    for (const ProcessWindows& group : grouping.processes) {
        const WindowRecord* primary =
            group.primary != ProcessWindows::none ? &snapshot.windows[group.primary] : nullptr;
        const QString host = primary != nullptr ? primary->clientMachine : QString();
        const std::optional<ApplicationKey> key =
            applicationKey(group.owner, host, processes, snapshot.takenAt);
        if (!key || known.contains(*key)) {
            continue;
        }
        const auto previous = known_.find(*key);
        const bool again = previous != known_.end();
        Known entry = again ? std::move(previous->second) : Known{};
        // Again only when WM_CLASS came late, or a matching entry was installed since.
        identities_.identify(entry.identity, primary, group.owner.pid, again);

        ScannedApplication app;
        app.key = *key;
        app.bundleIdentifier = entry.identity.bundleIdentifier;
        app.name = entry.identity.name;
        app.iconName = entry.identity.iconName;
        app.policy = group.policy;
        app.iconWindow = primary != nullptr ? primary->id : 0;
        for (const std::size_t index : group.windows) {
            const WindowRecord& record = snapshot.windows[index];
            result.windows.push_back({{record.wmClass, record.wmInstance}, record.title});
            const std::uint32_t window = snapshot.windows[index].id;
            result.windowOwners.emplace(window, *key);
            if (snapshot.windows[index].frame != 0) {
                result.windowOwners.emplace(snapshot.windows[index].frame, *key);
            }
            if (!key->isProcess()) {
                app.windows.push_back(window);
            }
            if (record.pingProtocol) {
                app.pingWindows.push_back(window);
            }
        }
        if (key->isProcess()) {
            indexByPid.emplace(key->pid, result.applications.size());
        }
        result.applications.push_back(std::move(app));
        known.emplace(*key, std::move(entry));
    }
    if (withIcons_) {
        readIcons(&result, &known);
    }

    // The windowless helpers of those (the rule is explained where findBackgroundHelpers decides
    // it), known by their application's name and icon.
    std::unordered_set<pid_t> applicationPids;
    for (const auto& [pid, index] : indexByPid) {
        applicationPids.insert(pid);
    }
    for (const BackgroundHelper& helper :
         findBackgroundHelpers(processes, applicationPids, ::getpid())) {
        ScannedApplication app = result.applications[indexByPid.at(helper.application)];
        app.key = ApplicationKey{helper.pid, processes.at(helper.pid).startTime, 0, {}};
        app.policy = ActivationPolicy::prohibited;
        app.helperOf = helper.application;
        app.windows.clear();
        app.pingWindows.clear();
        result.applications.push_back(std::move(app));
    }
    known_ = std::move(known);
    return result;
}

void WorkspaceScanner::readIcons(WorkspaceScan* result,
                                 std::map<ApplicationKey, Known>* known) const {
    std::vector<std::size_t> unread;
    std::vector<std::uint32_t> windows;
    for (std::size_t i = 0; i < result->applications.size(); ++i) {
        const ScannedApplication& app = result->applications[i];
        if (app.iconWindow != 0 && known->at(app.key).iconReadFrom != app.iconWindow) {
            unread.push_back(i);
            windows.push_back(app.iconWindow);
        }
    }
    if (!windows.empty()) {
        std::vector<std::vector<QImage>> icons = readWindowIcons(*connection_, windows);
        for (std::size_t j = 0; j < unread.size(); ++j) {
            Known& entry = known->at(result->applications[unread[j]].key);
            entry.iconReadFrom = windows[j];
            // A new primary window without an icon does not take away the one we had.
            if (!icons[j].empty() || !entry.windowIcon) {
                entry.windowIcon = std::make_shared<const std::vector<QImage>>(std::move(icons[j]));
            }
        }
    }
    for (ScannedApplication& app : result->applications) {
        app.windowIcon = known->at(app.key).windowIcon;
    }
}

}  // namespace klosia
