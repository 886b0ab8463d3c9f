#include "platform/x11/X11Workspace.h"

#include <unistd.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "log/Vezizur.h"
#include "platform/linux/ProcessControl.h"
#include "platform/linux/ProcessInfo.h"
#include "platform/linux/ProcessWatcher.h"
#include "platform/x11/BackgroundProcesses.h"
#include "platform/x11/IdentityFinder.h"
#include "platform/x11/WindowFilter.h"
#include "platform/x11/X11RemoteApplication.h"
#include "platform/x11/X11RunningApplication.h"
#include "platform/x11/X11Snapshot.h"
#include "platform/x11/XcbConnection.h"

namespace klosia {

namespace {

// Changes come in bursts (a window maps, becomes active, its dialog opens): one look after the
// burst is enough.
constexpr int kRefreshDelayMs = 30;

std::string describe(const RunningApplicationPtr& app) {
    const auto* x11 = dynamic_cast<const X11Application*>(app.get());
    return x11 != nullptr ? x11->describe() : "pid " + std::to_string(app->processIdentifier());
}

}  // namespace

X11Workspace::X11Workspace(std::shared_ptr<XcbConnection> connection)
    : connection_(std::move(connection)), identities_(std::make_unique<IdentityFinder>()) {
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
        logger.log(
            "application ended: " + describe(app) + " " + app->bundleIdentifier().toStdString(),
            VezizurLevel::info);
        postDidTerminate(app);
    }
    for (const RunningApplicationPtr& app : launches) {
        // One that came and went within the burst is old news.
        if (app->isTerminated()) {
            continue;
        }
        logger.log(
            "application launched: " + describe(app) + " " + app->bundleIdentifier().toStdString(),
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
    if (!active_) {
        return nullptr;
    }
    const auto found = handles_.find(*active_);
    return found != handles_.end() ? found->second : nullptr;
}

X11Workspace::HandlePtr X11Workspace::obtain(const Key& key,
                                             const std::function<void(X11Application&)>& identify) {
    const auto found = handles_.find(key);
    if (found != handles_.end()) {
        return found->second;
    }
    // The pid named another process before: that one has ended.
    std::vector<Key> stale;
    for (const auto& [other, handle] : handles_) {
        if (key.isProcess() && other.pid == key.pid) {
            stale.push_back(other);
        }
    }
    for (const Key& other : stale) {
        end(other);
    }

    HandlePtr handle;
    if (key.isProcess()) {
        handle = std::make_shared<X11RunningApplication>(connection_, key.pid, key.startTime);
    } else {
        handle = std::make_shared<X11RemoteApplication>(connection_, key.client, key.host);
    }
    identify(*handle);
    handles_.emplace(key, handle);
    order_.push_back(key);
    if (notify_) {
        pendingLaunches_.push_back(handle);
        // An X client without a process ends when its windows go; update() sees that.
        if (key.isProcess()) {
            watcher_->watch(key.pid, key.startTime, [this, key] {
                end(key);
                scheduleRefresh();
            });
        }
    }
    return handle;
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
        active_.reset();
    }
    handle->markTerminated();
    if (notify_) {
        if (key.isProcess()) {
            watcher_->unwatch(key.pid);
        }
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
        active_.reset();
        return;
    }
    // Read after the snapshot, so that the start times tell reused pids apart (ApplicationKey).
    const Processes processes = ProcessInfo::statAll();
    std::set<Key> present;
    std::unordered_map<pid_t, HandlePtr> byPid;
    listWindowOwners(snapshot, processes, &present, &byPid);
    listHelpers(processes, byPid, &present);
    retireMissing(present);
    listed_.clear();
    for (const Key& key : order_) {
        if (present.contains(key)) {
            listed_.push_back(key);
        }
    }
    // Changes that arrived while we read are looked at once more.
    readEvents(true);
}

void X11Workspace::listWindowOwners(const X11Snapshot& snapshot, const Processes& processes,
                                    std::set<Key>* present,
                                    std::unordered_map<pid_t, HandlePtr>* byPid) {
    const WindowGrouping grouping =
        groupWindowsByProcess(snapshot.windows, snapshot.activeWindow, ::getpid(),
                              snapshot.trayPids, snapshot.windowManager);
    active_.reset();
    // An entry installed meanwhile may name applications that had none.
    if (std::any_of(handles_.begin(), handles_.end(), [](const auto& entry) {
            return !entry.second->identitySource().fromDesktopEntry;
        })) {
        identities_->reloadIfDue();
    }
    for (const ProcessWindows& group : grouping.processes) {
        const WindowRecord* primary =
            group.primary != ProcessWindows::none ? &snapshot.windows[group.primary] : nullptr;
        const QString host = primary != nullptr ? primary->clientMachine : QString();
        const std::optional<Key> key =
            applicationKey(group.owner, host, processes, snapshot.takenAt);
        if (!key) {
            continue;
        }
        bool fresh = false;
        HandlePtr handle = obtain(*key, [&](X11Application& app) {
            identities_->identify(app, primary, group.owner.pid, false);
            fresh = true;
        });
        if (!fresh) {
            // WM_CLASS may have come late, or a matching entry been installed since.
            identities_->identify(*handle, primary, group.owner.pid, true);
        }
        handle->setActivationPolicy(group.policy);
        handle->setIconWindow(primary != nullptr ? primary->id : 0);
        const bool active = group.owner.isKnown() && group.owner == grouping.active;
        handle->setActive(active);
        if (active) {
            active_ = *key;
        }
        if (auto* remote = dynamic_cast<X11RemoteApplication*>(handle.get())) {
            std::vector<std::uint32_t> ids;
            ids.reserve(group.windows.size());
            for (const std::size_t index : group.windows) {
                ids.push_back(snapshot.windows[index].id);
            }
            remote->setWindows(std::move(ids));
        }
        present->insert(*key);
        if (key->isProcess()) {
            byPid->emplace(key->pid, handle);
        }
    }
}

void X11Workspace::listHelpers(const Processes& processes,
                               const std::unordered_map<pid_t, HandlePtr>& byPid,
                               std::set<Key>* present) {
    std::unordered_set<pid_t> applicationPids;
    for (const auto& [pid, handle] : byPid) {
        applicationPids.insert(pid);
    }
    for (const BackgroundHelper& helper :
         findBackgroundHelpers(processes, applicationPids, ::getpid())) {
        const Key key{helper.pid, processes.at(helper.pid).startTime, 0, {}};
        const HandlePtr& application = byPid.at(helper.application);
        HandlePtr handle = obtain(key, [](X11Application&) {});
        // It is known by its application's name, whenever that changes.
        handle->setIdentity(application->bundleIdentifier(), application->localizedName(),
                            application->iconName());
        handle->setIdentitySource(application->identitySource());
        handle->setActivationPolicy(ActivationPolicy::prohibited);
        handle->setIconWindow(application->iconWindow());
        handle->setActive(false);
        present->insert(key);
    }
}

// Applications seen before and missing now: gone, or a process just without a listed window.
void X11Workspace::retireMissing(const std::set<Key>& present) {
    std::vector<Key> gone;
    for (const auto& [key, handle] : handles_) {
        if (present.contains(key)) {
            continue;
        }
        // An X client without a process is known only by its windows.
        if (!key.isProcess() || !ProcessControl::isAlive(key.pid, key.startTime)) {
            gone.push_back(key);
        } else {
            handle->setActive(false);
        }
    }
    for (const Key& key : gone) {
        end(key);
    }
}

std::unique_ptr<Workspace> createX11Workspace(QString* error) {
    std::shared_ptr<XcbConnection> connection = XcbConnection::open(error);
    if (!connection) {
        return nullptr;
    }
    return std::make_unique<X11Workspace>(std::move(connection));
}

}  // namespace klosia
