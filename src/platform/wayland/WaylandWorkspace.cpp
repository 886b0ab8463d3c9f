#include "platform/wayland/WaylandWorkspace.h"

#include <QFileInfo>
#include <QSocketNotifier>

#include <unistd.h>

#include <algorithm>
#include <set>
#include <unordered_set>
#include <utility>

#include "log/Vezizur.h"
#include "platform/linux/BackgroundProcesses.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/ProcessInfo.h"
#include "platform/wayland/SwayTree.h"
#include "platform/wayland/WaylandApplication.h"
#include "platform/wayland/WaylandToplevels.h"

namespace klosia {
namespace {

// The X server of the Wayland desktop and the bridges that stand for all X11 programs at once:
// killing one ends every X11 program, so such a pid never names an application.
bool isXwaylandServer(pid_t pid) {
    const QString program = QFileInfo(ProcessInfo::exePath(pid)).fileName();
    return program == QLatin1String("Xwayland") || program == QLatin1String("xwayland-satellite");
}

struct Window {
    WaylandToplevels::Toplevel toplevel;
    pid_t pid = 0;
};

// The pid sway names for a toplevel: the one of the views with its app_id and title, when they
// all agree. -1 for an X11 view (left to the X side), 0 when nothing or several disagree.
pid_t pidOf(const WaylandToplevels::Toplevel& toplevel, const std::vector<SwayTree::View>& views) {
    std::set<pid_t> pids;
    for (const SwayTree::View& view : views) {
        if (view.appId == toplevel.appId && view.title == toplevel.title) {
            if (view.xwayland) {
                return -1;
            }
            pids.insert(view.pid);
        }
    }
    return pids.size() == 1 ? *pids.begin() : 0;
}

}  // namespace

WaylandWorkspace::WaylandWorkspace(std::shared_ptr<WaylandToplevels> toplevels,
                                   std::unique_ptr<Workspace> x11, Updates updates)
    : toplevels_(std::move(toplevels)),
      x11_(std::move(x11)),
      entries_(std::make_unique<DesktopEntries>()),
      updates_(updates),
      swaySocket_(qEnvironmentVariable("SWAYSOCK")),
      pidsFromProtocol_(toplevels_->pidsFromCompositor()) {
    rebuild(false);
    if (updates_ == Updates::onCall) {
        // A listing reads sway's tree anew only when the compositor reported a change.
        toplevels_->setChangedHandler([this] { changed_ = true; });
    }
    if (updates_ == Updates::followDesktop) {
        // Launches, ends and focus changes come as the protocol's events.
        toplevels_->setChangedHandler([this] { rebuild(true); });
        notifier_ = std::make_unique<QSocketNotifier>(toplevels_->fd(), QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            if (!toplevels_->dispatch()) {
                logger.log("lost the connection to the Wayland compositor", VezizurLevel::error);
                notifier_->setEnabled(false);
            }
        });
        if (x11_) {
            x11_->setDidLaunchHandler(
                [this](const RunningApplicationPtr& app) { postDidLaunch(app); });
            x11_->setDidTerminateHandler(
                [this](const RunningApplicationPtr& app) { postDidTerminate(app); });
        }
    }
}

WaylandWorkspace::~WaylandWorkspace() = default;

QString WaylandWorkspace::description() const {
    if (pidsFromProtocol_) {
        return QStringLiteral("wayland (%1, pids from the compositor)").arg(toplevels_->protocol());
    }
    return swaySocket_.isEmpty()
               ? QStringLiteral("wayland (%1; no pids: force quit is refused)")
                     .arg(toplevels_->protocol())
               : QStringLiteral("wayland (%1, pids from sway)").arg(toplevels_->protocol());
}

void WaylandWorkspace::rebuild(bool announce) {
    std::vector<SwayTree::View> views;
    if (!pidsFromProtocol_ && !swaySocket_.isEmpty()) {
        QString error;
        if (auto tree = SwayTree::read(swaySocket_, &error)) {
            views = std::move(*tree);
            lastViews_ = views;
        } else {
            // A busy sway that missed one answer: the pids it named last time, so that the
            // applications keep their identity (and their time in the background) meanwhile.
            // A pid only ever reaches a signal with the start time seen with it.
            logger.log("sway's tree: " + error.toStdString(), VezizurLevel::error);
            views = lastViews_;
        }
    }
    const pid_t self = ::getpid();
    // The X side's processes: their windows are listed there, with X-Resource's owners.
    std::set<pid_t> x11Pids;
    if (x11_) {
        for (const RunningApplicationPtr& app : x11_->knownApplications()) {
            x11Pids.insert(app->processIdentifier());
        }
    }
    // Without any word on pids, an X11 program's window is known by its WM_CLASS and title,
    // which the compositor gives as app_id and title: left to the X side too.
    std::vector<ListedWindow> x11Windows;
    if (x11_ && !pidsFromProtocol_ && views.empty()) {
        x11Windows = x11_->listedWindows();
    }
    const auto shownByX11 = [&](const WaylandToplevels::Toplevel& toplevel) {
        return std::any_of(x11Windows.begin(), x11Windows.end(), [&](const ListedWindow& window) {
            return window.title == toplevel.title &&
                   std::find(window.appIds.begin(), window.appIds.end(), toplevel.appId) !=
                       window.appIds.end();
        });
    };
    std::vector<std::pair<QString, std::vector<Window>>> groups;
    for (const WaylandToplevels::Toplevel& toplevel : toplevels_->toplevels()) {
        if (shownByX11(toplevel)) {
            continue;
        }
        // KWin knows every Wayland client's pid from the kernel; a window it gives none comes
        // from an X11 program that did not name its own, which the X side lists with its true
        // owner. Without an X side it stays, to be closed politely.
        if (pidsFromProtocol_ && toplevel.pid <= 0 && x11_) {
            continue;
        }
        const pid_t pid = toplevel.pid > 0 ? toplevel.pid : pidOf(toplevel, views);
        if (pid < 0 || pid == self || (pid > 0 && (isXwaylandServer(pid) || x11Pids.count(pid)))) {
            continue;  // X11 programs come from the X side; our own windows are not listed
        }
        const QString key =
            pid > 0 ? QString::number(pid) : QStringLiteral("app:") + toplevel.appId;
        auto group = std::find_if(groups.begin(), groups.end(),
                                  [&](const auto& entry) { return entry.first == key; });
        if (group == groups.end()) {
            groups.emplace_back(key, std::vector<Window>{});
            group = std::prev(groups.end());
        }
        group->second.push_back({toplevel, pid});
    }

    std::vector<std::pair<QString, std::shared_ptr<WaylandApplication>>> next;
    std::vector<RunningApplicationPtr> launched;
    for (const auto& [key, windows] : groups) {
        auto known = std::find_if(apps_.begin(), apps_.end(),
                                  [&](const auto& entry) { return entry.first == key; });
        std::shared_ptr<WaylandApplication> app;
        const pid_t pid = windows.front().pid;
        const std::uint64_t start = pid > 0 ? ProcessInfo::startTime(pid).value_or(0) : 0;
        if (known != apps_.end() && known->second->startTime() == start) {
            app = known->second;
        } else {
            WindowIdentityHints hints;
            hints.gtkApplicationId = windows.front().toplevel.appId;
            hints.wmClass = windows.front().toplevel.appId;
            if (pid > 0) {
                hints.exePath = ProcessInfo::exePath(pid);
                hints.cmdline = ProcessInfo::cmdline(pid);
            }
            WaylandApplication::Identity identity;
            if (const auto entry = entries_->match(hints)) {
                identity = {entry->id, entry->name, entry->iconName};
            }
            if (identity.id.isEmpty()) {
                identity.id = windows.front().toplevel.appId;
            }
            if (identity.name.isEmpty()) {
                identity.name = windows.front().toplevel.appId;
            }
            app = std::make_shared<WaylandApplication>(toplevels_, pid, start, identity);
            launched.push_back(app);
        }
        std::vector<std::uint32_t> ids;
        bool regular = false;
        bool active = false;
        for (const Window& window : windows) {
            ids.push_back(window.toplevel.id);
            // A child window (a dialog) or one kept off the task bar does not make an
            // application regular on its own.
            regular = regular || (window.toplevel.parent == 0 && !window.toplevel.skipTaskbar);
            active = active || window.toplevel.activated;
        }
        app->setWindows(std::move(ids),
                        regular ? ActivationPolicy::regular : ActivationPolicy::accessory, active);
        next.emplace_back(key, app);
    }
    std::vector<RunningApplicationPtr> ended;
    for (const auto& [key, app] : apps_) {
        if (std::none_of(next.begin(), next.end(),
                         [&](const auto& entry) { return entry.second == app; })) {
            app->markTerminated();
            ended.push_back(app);
        }
    }
    apps_ = std::move(next);
    if (announce) {
        for (const RunningApplicationPtr& app : ended) {
            postDidTerminate(app);
        }
        for (const RunningApplicationPtr& app : launched) {
            postDidLaunch(app);
        }
    }
}

void WaylandWorkspace::findHelpers() {
    std::unordered_map<pid_t, std::shared_ptr<WaylandApplication>> byPid;
    for (const auto& [key, app] : apps_) {
        if (app->processIdentifier() > 0) {
            byPid.emplace(app->processIdentifier(), app);
        }
    }
    std::vector<std::shared_ptr<WaylandApplication>> found;
    if (!byPid.empty()) {
        std::unordered_set<pid_t> applications;
        for (const auto& [pid, app] : byPid) {
            applications.insert(pid);
        }
        const std::unordered_map<pid_t, ProcStat> processes = ProcessInfo::statAll();
        for (const BackgroundHelper& helper :
             findBackgroundHelpers(processes, applications, ::getpid())) {
            const std::uint64_t start = processes.at(helper.pid).startTime;
            const auto known = std::find_if(helpers_.begin(), helpers_.end(), [&](const auto& app) {
                return app->processIdentifier() == helper.pid && app->startTime() == start;
            });
            if (known != helpers_.end()) {
                found.push_back(*known);
                continue;
            }
            auto app = std::make_shared<WaylandApplication>(
                toplevels_, helper.pid, start, byPid.at(helper.application)->identity());
            app->setHelperOf(helper.application);
            found.push_back(std::move(app));
        }
    }
    for (const std::shared_ptr<WaylandApplication>& app : helpers_) {
        if (std::find(found.begin(), found.end(), app) == found.end()) {
            app->markTerminated();
        }
    }
    helpers_ = std::move(found);
}

std::vector<RunningApplicationPtr> WaylandWorkspace::withX11(
    const std::vector<RunningApplicationPtr>& x11) const {
    std::vector<RunningApplicationPtr> out;
    out.reserve(apps_.size() + helpers_.size() + x11.size());
    for (const auto& [key, app] : apps_) {
        out.push_back(app);
    }
    out.insert(out.end(), helpers_.begin(), helpers_.end());
    out.insert(out.end(), x11.begin(), x11.end());
    return out;
}

std::vector<RunningApplicationPtr> WaylandWorkspace::knownApplications() {
    return withX11(x11_ ? x11_->knownApplications() : std::vector<RunningApplicationPtr>{});
}

std::vector<RunningApplicationPtr> WaylandWorkspace::runningApplications() {
    if (updates_ == Updates::onCall) {
        toplevels_->roundtrip();
        // The X side's list decides which windows are left to it, and it may have changed
        // without a Wayland event.
        if (changed_ || x11_) {
            changed_ = false;
            rebuild(false);
        }
    }
    findHelpers();
    return withX11(x11_ ? x11_->runningApplications() : std::vector<RunningApplicationPtr>{});
}

RunningApplicationPtr WaylandWorkspace::frontmostApplication() {
    for (const auto& [key, app] : apps_) {
        if (app->isActive()) {
            return app;
        }
    }
    return x11_ ? x11_->frontmostApplication() : nullptr;
}

std::unique_ptr<WaylandWorkspace> createWaylandWorkspace(QString* error,
                                                         std::unique_ptr<Workspace> x11,
                                                         WaylandWorkspace::Updates updates) {
    std::shared_ptr<WaylandToplevels> toplevels = WaylandToplevels::connect(error);
    if (!toplevels) {
        return nullptr;
    }
    return std::make_unique<WaylandWorkspace>(std::move(toplevels), std::move(x11), updates);
}

}  // namespace klosia
