#include "platform/x11/X11Workspace.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <utility>

#include "log/Vezizur.h"
#include "platform/linux/ProcessControl.h"
#include "platform/linux/ProcessWatcher.h"
#include "platform/x11/WorkspaceRefresher.h"
#include "platform/x11/WorkspaceScanner.h"
#include "platform/x11/X11DesktopEvents.h"
#include "platform/x11/X11Pinger.h"
#include "platform/x11/X11RemoteApplication.h"
#include "platform/x11/X11RunningApplication.h"
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

X11Workspace::X11Workspace(std::shared_ptr<XcbConnection> connection, Updates updates)
    : connection_(std::move(connection)) {
    const bool follow = updates == Updates::followDesktop ||
                        (updates == Updates::automatic && QCoreApplication::instance() != nullptr);
    if (!follow || !followDesktop()) {
        scanner_ = std::make_unique<WorkspaceScanner>(connection_, false);
        scanNow();
    }
}

X11Workspace::~X11Workspace() {
    // Their callbacks point back at us: the refresher stops first (a scan it publishes now is
    // dropped with the context), then the events, timers and the watcher.
    refresher_.reset();
    events_.reset();
    context_.reset();
}

bool X11Workspace::followDesktop() {
    // Connections of their own: one for the events, one for the scans on their thread.
    QString error;
    std::shared_ptr<XcbConnection> events = XcbConnection::open(&error);
    std::shared_ptr<XcbConnection> scans = events ? XcbConnection::open(&error) : nullptr;
    if (!scans) {
        logger.log("cannot follow the desktop: the list is read on every call",
                   VezizurLevel::error);
        return false;
    }
    following_ = true;
    context_ = std::make_unique<QObject>();
    watcher_ = new ProcessWatcher(context_.get());
    refreshTimer_ = new QTimer(context_.get());
    refreshTimer_->setSingleShot(true);
    refreshTimer_->setInterval(kRefreshDelayMs);
    QObject::connect(refreshTimer_, &QTimer::timeout, context_.get(), [this] { requestRefresh(); });
    flushTimer_ = new QTimer(context_.get());
    flushTimer_->setSingleShot(true);
    flushTimer_->setInterval(0);
    QObject::connect(flushTimer_, &QTimer::timeout, context_.get(), [this] { flush(); });

    // Watched before the first scan, so that no change after it goes unseen.
    events_ = std::make_unique<X11DesktopEvents>(
        std::move(events),
        X11DesktopEvents::Handlers{[this] { scheduleRefresh(); },
                                   [this](std::uint32_t window) { setActiveWindow(window); },
                                   [this] { lost(); }});
    auto scanner = std::make_unique<WorkspaceScanner>(std::move(scans), true);
    const WorkspaceScan first = scanner->scan();
    activeWindow_ = first.activeWindow;
    apply(first, 0);
    // What runs now is the starting point, not news.
    pendingLaunches_.clear();

    QObject* context = context_.get();
    refresher_ = std::make_unique<WorkspaceRefresher>(
        std::move(scanner), [this, context](WorkspaceScan scan, std::uint64_t serves) {
            auto published = std::make_shared<const WorkspaceScan>(std::move(scan));
            QMetaObject::invokeMethod(
                context,
                [this, published, serves] {
                    apply(*published, serves);
                    flush();
                },
                Qt::QueuedConnection);
        });
    lastRequest_ = std::chrono::steady_clock::now();
    return true;
}

std::vector<RunningApplicationPtr> X11Workspace::runningApplications() {
    if (!following_) {
        scanNow();
    } else if (!isRefreshing() && std::chrono::steady_clock::now() - lastRequest_ >= kStaleAfter) {
        // Answered from the list as it is; what no event tells shows up with this scan.
        requestRefresh();
    }
    return listedHandles();
}

std::vector<RunningApplicationPtr> X11Workspace::knownApplications() {
    if (!following_) {
        scanNow();
    }
    return listedHandles();
}

std::vector<RunningApplicationPtr> X11Workspace::listedHandles() const {
    std::vector<RunningApplicationPtr> result;
    result.reserve(listed_.size());
    for (const Key& key : listed_) {
        const auto found = handles_.find(key);
        if (found != handles_.end()) {
            result.push_back(found->second);
        }
    }
    return result;
}

RunningApplicationPtr X11Workspace::frontmostApplication() {
    if (!following_) {
        scanNow();
    }
    if (!active_) {
        return nullptr;
    }
    const auto found = handles_.find(*active_);
    return found != handles_.end() ? found->second : nullptr;
}

std::uint64_t X11Workspace::activeWindowReads() const {
    return events_ ? events_->activeWindowReads() : 0;
}

bool X11Workspace::isRefreshing() const {
    return (refreshTimer_ != nullptr && refreshTimer_->isActive()) || requested_ > served_;
}

void X11Workspace::scanNow() {
    apply(scanner_->scan(), 0);
}

void X11Workspace::apply(const WorkspaceScan& scan, std::uint64_t serves) {
    ++scansApplied_;
    served_ = std::max(served_, serves);
    if (!scan.valid) {
        if (!brokenReported_) {
            brokenReported_ = true;
            logger.log("cannot read the window list from the X server", VezizurLevel::error);
        }
        listed_.clear();
        listedWindows_.clear();
        windowOwners_.clear();
        setActiveWindow(0);
        return;
    }
    managed_ = scan.managed;
    if (events_) {
        events_->followTopLevels(!managed_);
        if (scan.activeFromFocus != activeFromFocus_) {
            std::function<bool(std::uint32_t)> known;
            if (scan.activeFromFocus) {
                known = [this](std::uint32_t window) { return windowOwners_.contains(window); };
            }
            events_->followFocus(std::move(known));
        } else if (scan.activeFromFocus) {
            events_->readFocusAgain();
        }
    }
    activeFromFocus_ = scan.activeFromFocus;
    listedWindows_ = scan.windows;
    std::map<Key, std::vector<std::uint32_t>> pings;
    std::set<Key> present;
    for (const ScannedApplication& app : scan.applications) {
        if (ended_.hides(app.key, serves)) {
            continue;
        }
        const HandlePtr handle = obtain(app);
        handle->setIdentity(app.bundleIdentifier, app.name, app.iconName);
        handle->setActivationPolicy(app.policy);
        handle->setHelperOf(app.helperOf);
        handle->setIconWindow(app.iconWindow);
        if (app.windowIcon) {
            handle->setWindowIcon(app.windowIcon);
        }
        if (auto* remote = dynamic_cast<X11RemoteApplication*>(handle.get())) {
            remote->setWindows(app.windows);
        }
        pings[app.key] = app.pingWindows;
        present.insert(app.key);
    }
    ended_.served(serves);
    retireMissing(present);
    listed_.clear();
    for (const Key& key : order_) {
        if (present.contains(key)) {
            listed_.push_back(key);
        }
    }
    windowOwners_ = scan.windowOwners;
    pingWindows_ = std::move(pings);
    sharePings();
    // Following, the focus events keep the active window; the scan's may be older.
    setActiveWindow(following_ ? activeWindow_ : scan.activeWindow);
}

// Applications seen before and missing now: gone, or a process just without a listed window.
void X11Workspace::retireMissing(const std::set<Key>& present) {
    std::vector<Key> gone;
    for (const auto& [key, handle] : handles_) {
        // An X client without a process is known only by its windows, a helper by the scans
        // that find it. Following, the process watcher tells when any other process ends.
        if (!present.contains(key) &&
            (!key.isProcess() || unwatched_.contains(key) ||
             (!following_ && !ProcessControl::isAlive(key.pid, key.startTime)))) {
            gone.push_back(key);
        }
    }
    for (const Key& key : gone) {
        end(key);
    }
}

void X11Workspace::setActiveWindow(std::uint32_t window) {
    activeWindow_ = window;
    std::optional<Key> next;
    const auto owner = windowOwners_.find(window);
    // Without a window manager the root's _NET_ACTIVE_WINDOW may be a dead one's leftover; the
    // input focus stands in for it then.
    if ((managed_ || activeFromFocus_) && window != 0 && owner != windowOwners_.end() &&
        handles_.contains(owner->second)) {
        next = owner->second;
    }
    if (next == active_) {
        return;
    }
    if (active_) {
        const auto previous = handles_.find(*active_);
        if (previous != handles_.end()) {
            previous->second->setActive(false);
        }
    }
    if (next) {
        handles_.at(*next)->setActive(true);
    }
    active_ = next;
}

X11Workspace::HandlePtr X11Workspace::obtain(const ScannedApplication& app) {
    const Key& key = app.key;
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
    handles_.emplace(key, handle);
    order_.push_back(key);
    if (following_) {
        pendingLaunches_.push_back(handle);
        // An X client without a process ends when its windows go, and a windowless helper when
        // it is no longer found; a scan sees both. A browser may run hundreds of helpers, and a
        // descriptor each would leave none for the rest of the program.
        if (key.isProcess() && app.helperOf != 0) {
            unwatched_.insert(key);
        } else if (key.isProcess()) {
            watcher_->watch(key.pid, key.startTime, [this, key] {
                ended_.ended(key, requested_);
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
    if (following_) {
        if (key.isProcess() && unwatched_.erase(key) == 0) {
            watcher_->unwatch(key.pid);
        }
        pendingTerminations_.push_back(handle);
        scheduleFlush();
    }
}

void X11Workspace::lost() {
    if (!brokenReported_) {
        brokenReported_ = true;
        logger.log("lost the connection to the X server", VezizurLevel::error);
    }
}

void X11Workspace::requestRefresh() {
    refreshTimer_->stop();
    requested_ = refresher_->request();
    lastRequest_ = std::chrono::steady_clock::now();
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
    // One that came and went since the last flush was never news: neither is reported.
    const auto unannounced = [&launches](const RunningApplicationPtr& app) {
        return std::find(launches.begin(), launches.end(), app) != launches.end();
    };
    for (const RunningApplicationPtr& app : terminations) {
        if (unannounced(app)) {
            continue;
        }
        logger.log(
            "application ended: " + describe(app) + " " + app->bundleIdentifier().toStdString(),
            VezizurLevel::info);
        postDidTerminate(app);
    }
    for (const RunningApplicationPtr& app : launches) {
        const auto* x11 = dynamic_cast<const X11Application*>(app.get());
        if (x11 != nullptr && x11->isMarkedTerminated()) {
            continue;
        }
        logger.log(
            "application launched: " + describe(app) + " " + app->bundleIdentifier().toStdString(),
            VezizurLevel::info);
        postDidLaunch(app);
    }
}

std::unique_ptr<Workspace> createX11Workspace(QString* error, X11Workspace::Updates updates) {
    std::shared_ptr<XcbConnection> connection = XcbConnection::open(error);
    if (!connection) {
        return nullptr;
    }
    return std::make_unique<X11Workspace>(std::move(connection), updates);
}

void X11Workspace::setWatchingResponses(bool on) {
    if (on && !pinger_) {
        QString error;
        pinger_ = X11Pinger::start(&error);
        if (!pinger_) {
            logger.log("pings: " + error.toStdString(), VezizurLevel::error);
            return;
        }
        sharePings();
    }
    if (pinger_) {
        pinger_->setActive(on);
    }
}

void X11Workspace::awaitResponses() {
    if (pinger_) {
        pinger_->awaitFirstAnswers();
    }
}

void X11Workspace::sharePings() {
    if (!pinger_) {
        return;
    }
    std::vector<std::uint32_t> all;
    for (const auto& [key, windows] : pingWindows_) {
        all.insert(all.end(), windows.begin(), windows.end());
        if (const auto handle = handles_.find(key); handle != handles_.end()) {
            handle->second->setPings(pinger_, windows);
        }
    }
    pinger_->setWindows(std::move(all));
}

}  // namespace klosia
