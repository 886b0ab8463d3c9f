#include "platform/x11/X11RunningApplication.h"

#include <csignal>
#include <string>

#include "log/Vezizur.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/ProcessControl.h"
#include "platform/x11/NetWmIcon.h"
#include "platform/x11/WindowFilter.h"
#include "platform/x11/X11Snapshot.h"
#include "platform/x11/XcbConnection.h"

namespace klosia {

namespace {

// _NET_ACTIVE_WINDOW and _NET_CLOSE_WINDOW carry where a request comes from; 2 is a pager or
// task bar, i.e. a direct request of the user, which window managers do not second-guess.
constexpr std::uint32_t kSourcePager = 2;

}  // namespace

X11RunningApplication::X11RunningApplication(std::shared_ptr<XcbConnection> connection, pid_t pid,
                                             std::uint64_t startTime)
    : connection_(std::move(connection)), pid_(pid), startTime_(startTime) {}

QString X11RunningApplication::localizedName() const {
    const std::lock_guard lock(mutex_);
    return name_;
}

QString X11RunningApplication::bundleIdentifier() const {
    const std::lock_guard lock(mutex_);
    return bundleIdentifier_;
}

QString X11RunningApplication::iconName() const {
    const std::lock_guard lock(mutex_);
    return iconName_;
}

QIcon X11RunningApplication::icon() const {
    const std::lock_guard lock(mutex_);
    if (icon_) {
        return *icon_;
    }
    QIcon icon;
    if (!iconName_.isEmpty()) {
        icon = iconFor(iconName_);
    }
    if (icon.isNull() && iconWindow_ != 0 && connection_) {
        const std::vector<std::uint32_t> raw = X11Snapshot::readIcon(*connection_, iconWindow_);
        if (!raw.empty()) {
            icon = netWmIcon(raw.data(), raw.size());
        }
    }
    icon_ = icon;
    return icon;
}

ActivationPolicy X11RunningApplication::activationPolicy() const {
    return policy_.load();
}

bool X11RunningApplication::isActive() const {
    return active_.load() && !terminated_.load();
}

bool X11RunningApplication::isTerminated() const {
    if (terminated_.load()) {
        return true;
    }
    return !stillRunning();
}

bool X11RunningApplication::stillRunning() const {
    if (terminated_.load()) {
        return false;
    }
    if (!ProcessControl::isAlive(pid_, startTime_)) {
        terminated_.store(true);
        return false;
    }
    return true;
}

bool X11RunningApplication::terminate() {
    if (!stillRunning()) {
        logger.log("pid " + std::to_string(pid_) + " has ended: no quit request sent",
                   VezizurLevel::info);
        return false;
    }
    // A fresh look at the windows: the process may have opened or closed some since the list
    // was built.
    const X11Snapshot snapshot =
        connection_ ? X11Snapshot::take(*connection_, false) : X11Snapshot{};
    const std::vector<std::size_t> targets = windowsToClose(snapshot.windows, pid_);
    bool ok = true;
    // A process without a window can only be asked by signal.
    bool needsSignal = targets.empty();
    std::size_t asked = 0;
    for (const std::size_t index : targets) {
        const WindowRecord& window = snapshot.windows[index];
        if (!window.deleteProtocol) {
            // Closing a window without WM_DELETE_WINDOW makes the window manager kill the
            // client's connection: not a request the application can answer. It gets SIGTERM
            // instead, which it can handle.
            needsSignal = true;
            continue;
        }
        ok = connection_->sendRootMessage(window.id, X11Atom::netCloseWindow,
                                          {XCB_CURRENT_TIME, kSourcePager, 0, 0, 0}) &&
             ok;
        ++asked;
    }
    if (asked > 0) {
        logger.log("asked pid " + std::to_string(pid_) + " to close " + std::to_string(asked) +
                       " window(s)",
                   VezizurLevel::info);
    }
    if (needsSignal) {
        ok = ProcessControl::sendSignal(pid_, startTime_, SIGTERM) && ok;
    }
    return ok;
}

bool X11RunningApplication::forceTerminate() {
    if (!stillRunning()) {
        logger.log("pid " + std::to_string(pid_) + " has ended: no signal sent",
                   VezizurLevel::info);
        return false;
    }
    return ProcessControl::sendSignal(pid_, startTime_, SIGKILL);
}

bool X11RunningApplication::activate() {
    if (!stillRunning() || !connection_) {
        return false;
    }
    const X11Snapshot snapshot = X11Snapshot::take(*connection_, false);
    const WindowGrouping grouping = groupWindowsByProcess(snapshot.windows, 0, 0);
    for (const ProcessWindows& process : grouping.processes) {
        if (process.pid == pid_ && process.primary != ProcessWindows::none) {
            const std::uint32_t window = snapshot.windows[process.primary].id;
            return connection_->sendRootMessage(window, X11Atom::netActiveWindow,
                                                {kSourcePager, XCB_CURRENT_TIME, 0, 0, 0});
        }
    }
    logger.log("pid " + std::to_string(pid_) + " has no window to activate", VezizurLevel::info);
    return false;
}

void X11RunningApplication::setIdentity(const QString& bundleIdentifier, const QString& name,
                                        const QString& iconName) {
    const std::lock_guard lock(mutex_);
    if (iconName != iconName_) {
        icon_.reset();
    }
    bundleIdentifier_ = bundleIdentifier;
    name_ = name;
    iconName_ = iconName;
}

void X11RunningApplication::setIconWindow(std::uint32_t window) {
    const std::lock_guard lock(mutex_);
    if (window != iconWindow_ && iconWindow_ == 0) {
        icon_.reset();
    }
    iconWindow_ = window;
}

void X11RunningApplication::setActivationPolicy(ActivationPolicy policy) {
    policy_.store(policy);
}

void X11RunningApplication::setActive(bool active) {
    active_.store(active);
}

void X11RunningApplication::markTerminated() {
    terminated_.store(true);
    active_.store(false);
}

}  // namespace klosia
