#include "platform/x11/X11Workspace.h"

#include <fcntl.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "log/Vezizur.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/ProcessControl.h"
#include "platform/linux/ProcessInfo.h"
#include "platform/linux/ProcessWatcher.h"
#include "platform/x11/ApplicationIdentity.h"
#include "platform/x11/BackgroundProcesses.h"
#include "platform/x11/WindowFilter.h"
#include "platform/x11/X11RunningApplication.h"
#include "platform/x11/X11Snapshot.h"
#include "platform/x11/XcbConnection.h"

namespace klosia {

namespace {

// Changes come in bursts (a window maps, becomes active, its dialog opens): one look after the
// burst is enough.
constexpr int kRefreshDelayMs = 30;
// A window that matches no desktop entry makes us look for new entries, at most this often.
constexpr auto kReloadInterval = std::chrono::seconds(2);

// One pass over /proc: the state, parent and start time of every process.
std::unordered_map<pid_t, ProcStat> readProcesses() {
    std::unordered_map<pid_t, ProcStat> result;
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0) {
        return result;
    }
    std::array<char, 1024> buffer{};
    for (const pid_t pid : ProcessInfo::listPids()) {
        const auto stat = ProcessInfo::statAt(procFd, pid, buffer.data(), buffer.size());
        if (stat && !stat->hasEnded()) {
            result.emplace(pid, *stat);
        }
    }
    ::close(procFd);
    return result;
}

}  // namespace

X11Workspace::X11Workspace(std::shared_ptr<XcbConnection> connection)
    : connection_(std::move(connection)),
      entries_(std::make_unique<DesktopEntries>()),
      lastReload_(std::chrono::steady_clock::now()) {
    if (QCoreApplication::instance() != nullptr) {
        watchDesktop();
    }
    // What runs now is the starting point, not news.
    update();
    pendingLaunches_.clear();
}

X11Workspace::~X11Workspace() {
    // The watcher's callbacks and the timers point back at us: they go first.
    context_.reset();
}

void X11Workspace::watchDesktop() {
    notify_ = true;
    context_ = std::make_unique<QObject>();
    watcher_ = new ProcessWatcher(context_.get());

    refreshTimer_ = new QTimer(context_.get());
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(kRefreshDelayMs);
    QObject::connect(refreshTimer_, &QTimer::timeout, context_.get(), [this] {
        update();
        flush();
    });
    flushTimer_ = new QTimer(context_.get());
    flushTimer_->setSingleShot(true);
    flushTimer_->setInterval(0);
    QObject::connect(flushTimer_, &QTimer::timeout, context_.get(), [this] { flush(); });

    // The root's property changes tell when the client list or the active window change.
    xcb_connection_t* c = connection_->get();
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, connection_->root(), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    notifier_ =
        new QSocketNotifier(connection_->fileDescriptor(), QSocketNotifier::Read, context_.get());
    QObject::connect(notifier_, &QSocketNotifier::activated, context_.get(),
                     [this] { readEvents(false); });
}

void X11Workspace::readEvents(bool queuedOnly) {
    if (!notify_) {
        return;
    }
    xcb_connection_t* c = connection_->get();
    const xcb_atom_t clientList = connection_->atom(X11Atom::netClientList);
    const xcb_atom_t activeWindow = connection_->atom(X11Atom::netActiveWindow);
    bool changed = false;
    // Everything queued is taken each time: the notifier fires only for new bytes on the
    // socket, and xcb may already have read events while it waited for a reply.
    while (xcb_generic_event_t* event =
               queuedOnly ? xcb_poll_for_queued_event(c) : xcb_poll_for_event(c)) {
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
            changed = changed || (property->window == connection_->root() &&
                                  (property->atom == clientList || property->atom == activeWindow));
        }
        // Errors of requests we did not check (none are sent on purpose) are of no interest.
        std::free(event);  // NOLINT: xcb allocates events with malloc
    }
    if (connection_->isBroken()) {
        if (!brokenReported_) {
            brokenReported_ = true;
            logger.log("lost the connection to the X server", VezizurLevel::error);
        }
        if (notifier_ != nullptr) {
            notifier_->setEnabled(false);
        }
        return;
    }
    if (changed) {
        scheduleRefresh();
    }
}

void X11Workspace::scheduleRefresh() {
    if (refreshTimer_ != nullptr && !refreshTimer_->isActive()) {
        refreshTimer_->start();
    }
}

void X11Workspace::scheduleFlush() {
    if (flushTimer_ != nullptr && !flushTimer_->isActive() &&
        (!pendingLaunches_.empty() || !pendingTerminations_.empty())) {
        flushTimer_->start();
    }
}

void X11Workspace::flush() {
    // Handlers may call back into us and queue more; they see a clean slate.
    std::vector<RunningApplicationPtr> terminations;
    std::vector<RunningApplicationPtr> launches;
    terminations.swap(pendingTerminations_);
    launches.swap(pendingLaunches_);
    for (const RunningApplicationPtr& app : terminations) {
        logger.log("application ended: pid " + std::to_string(app->processIdentifier()) + " " +
                       app->bundleIdentifier().toStdString(),
                   VezizurLevel::info);
        postDidTerminate(app);
    }
    for (const RunningApplicationPtr& app : launches) {
        // One that came and went within the burst is old news.
        if (app->isTerminated()) {
            continue;
        }
        logger.log("application launched: pid " + std::to_string(app->processIdentifier()) + " " +
                       app->bundleIdentifier().toStdString(),
                   VezizurLevel::info);
        postDidLaunch(app);
    }
}

std::vector<RunningApplicationPtr> X11Workspace::runningApplications() {
    update();
    std::vector<RunningApplicationPtr> result;
    result.reserve(listed_.size());
    for (const Key& key : listed_) {
        const auto found = handles_.find(key);
        if (found != handles_.end()) {
            result.push_back(found->second);
        }
    }
    scheduleFlush();
    return result;
}

RunningApplicationPtr X11Workspace::frontmostApplication() {
    update();
    scheduleFlush();
    const auto found = handles_.find(active_);
    return found != handles_.end() ? found->second : nullptr;
}

X11Workspace::HandlePtr X11Workspace::obtain(
    const Key& key, const std::function<void(X11RunningApplication&)>& identify) {
    const auto found = handles_.find(key);
    if (found != handles_.end()) {
        return found->second;
    }
    // The pid named another process before: that one has ended.
    std::vector<Key> stale;
    for (const auto& [other, handle] : handles_) {
        if (other.first == key.first) {
            stale.push_back(other);
        }
    }
    for (const Key& other : stale) {
        end(other);
    }

    auto handle = std::make_shared<X11RunningApplication>(connection_, key.first, key.second);
    identify(*handle);
    handles_.emplace(key, handle);
    order_.push_back(key);
    if (notify_) {
        pendingLaunches_.push_back(handle);
        watcher_->watch(key.first, key.second, [this, key] {
            end(key);
            scheduleRefresh();
        });
    }
    return handle;
}

ApplicationIdentity X11Workspace::identify(const WindowRecord* window, pid_t pid) {
    const QString exe = ProcessInfo::exePath(pid);
    const QStringList cmdline = ProcessInfo::cmdline(pid);
    ApplicationIdentity identity = identifyApplication(*entries_, window, exe, cmdline);
    const auto now = std::chrono::steady_clock::now();
    if (!identity.fromDesktopEntry && now - lastReload_ >= kReloadInterval) {
        // Perhaps it was installed after we read the entries.
        lastReload_ = now;
        entries_->reload();
        identity = identifyApplication(*entries_, window, exe, cmdline);
    }
    return identity;
}

void X11Workspace::end(const Key& key) {
    const auto found = handles_.find(key);
    if (found == handles_.end()) {
        return;
    }
    HandlePtr handle = found->second;
    handles_.erase(found);
    std::erase(order_, key);
    std::erase(listed_, key);
    if (active_ == key) {
        active_ = {0, 0};
    }
    handle->markTerminated();
    if (notify_) {
        watcher_->unwatch(key.first);
        pendingTerminations_.push_back(handle);
        scheduleFlush();
    }
}

void X11Workspace::update() {
    const X11Snapshot snapshot = X11Snapshot::take(*connection_, true);
    if (!snapshot.valid) {
        if (!brokenReported_) {
            brokenReported_ = true;
            logger.log("cannot read the window list from the X server", VezizurLevel::error);
        }
        listed_.clear();
        active_ = {0, 0};
        return;
    }
    const pid_t ownPid = ::getpid();
    const WindowGrouping grouping =
        groupWindowsByProcess(snapshot.windows, snapshot.activeWindow, ownPid, snapshot.trayPids);
    const std::unordered_map<pid_t, ProcStat> processes = readProcesses();

    std::set<Key> present;
    std::unordered_map<pid_t, HandlePtr> applications;
    std::unordered_map<pid_t, std::uint32_t> iconWindows;
    active_ = {0, 0};
    for (const ProcessWindows& process : grouping.processes) {
        const auto stat = processes.find(process.pid);
        if (stat == processes.end()) {
            continue;  // ended since its window was read, or in another pid namespace
        }
        const Key key{process.pid, stat->second.startTime};
        const WindowRecord* primary =
            process.primary != ProcessWindows::none ? &snapshot.windows[process.primary] : nullptr;
        HandlePtr handle = obtain(key, [&](X11RunningApplication& app) {
            const ApplicationIdentity identity = identify(primary, process.pid);
            app.setIdentity(identity.bundleIdentifier, identity.name, identity.iconName);
        });
        handle->setActivationPolicy(process.policy);
        handle->setIconWindow(primary != nullptr ? primary->id : 0);
        handle->setActive(process.pid == grouping.activePid);
        if (process.pid == grouping.activePid) {
            active_ = key;
        }
        present.insert(key);
        applications.emplace(process.pid, handle);
        iconWindows.emplace(process.pid, primary != nullptr ? primary->id : 0);
    }

    // Windowless processes that are part of a listed application (the rule is explained where
    // findBackgroundHelpers decides it).
    std::vector<ProcessNode> nodes;
    nodes.reserve(processes.size());
    for (const auto& [pid, stat] : processes) {
        nodes.push_back({pid, stat.ppid});
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const ProcessNode& a, const ProcessNode& b) { return a.pid < b.pid; });
    std::unordered_set<pid_t> applicationPids;
    for (const auto& [pid, handle] : applications) {
        applicationPids.insert(pid);
    }
    std::unordered_map<pid_t, QString> exeCache;
    auto exeOf = [&exeCache](pid_t pid) -> const QString& {
        auto [it, inserted] = exeCache.try_emplace(pid);
        if (inserted) {
            it->second = ProcessInfo::exePath(pid);
        }
        return it->second;
    };
    const uid_t ownUid = ::getuid();
    const auto sameProgram = [&](pid_t helper, pid_t application) {
        const auto uids = ProcessInfo::uids(helper);
        const QString& exe = exeOf(application);
        return uids && uids->allEqual(ownUid) && !exe.isEmpty() && exeOf(helper) == exe;
    };
    for (const BackgroundHelper& helper :
         findBackgroundHelpers(nodes, applicationPids, ownPid, sameProgram)) {
        const Key key{helper.pid, processes.at(helper.pid).startTime};
        const HandlePtr& application = applications.at(helper.application);
        HandlePtr handle = obtain(key, [&](X11RunningApplication& app) {
            app.setIdentity(application->bundleIdentifier(), application->localizedName(),
                            application->iconName());
        });
        handle->setActivationPolicy(ActivationPolicy::prohibited);
        handle->setIconWindow(iconWindows[helper.application]);
        handle->setActive(false);
        present.insert(key);
    }

    // Processes seen before and missing now: gone, or just without a listed window.
    std::vector<Key> gone;
    for (const auto& [key, handle] : handles_) {
        if (!present.contains(key) && !ProcessControl::isAlive(key.first, key.second)) {
            gone.push_back(key);
        }
    }
    for (const Key& key : gone) {
        end(key);
    }
    for (const auto& [key, handle] : handles_) {
        if (!present.contains(key)) {
            handle->setActive(false);
        }
    }
    listed_.clear();
    for (const Key& key : order_) {
        if (present.contains(key)) {
            listed_.push_back(key);
        }
    }
    // Changes that arrived while we read are looked at once more.
    readEvents(true);
}

std::unique_ptr<Workspace> createX11Workspace(QString* error) {
    std::shared_ptr<XcbConnection> connection = XcbConnection::open(error);
    if (!connection) {
        return nullptr;
    }
    return std::make_unique<X11Workspace>(std::move(connection));
}

}  // namespace klosia
