#include "platform/wayland/WaylandApplication.h"

#include <QCoreApplication>
#include <QThread>

#include <csignal>
#include <utility>

#include "log/Vezizur.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/ProcessControl.h"
#include "platform/wayland/WaylandToplevels.h"

namespace klosia {

WaylandApplication::WaylandApplication(std::weak_ptr<WaylandToplevels> toplevels, pid_t pid,
                                       std::uint64_t startTime, Identity identity)
    : toplevels_(std::move(toplevels)),
      pid_(pid),
      startTime_(startTime),
      identity_(std::move(identity)) {}

QIcon WaylandApplication::icon() const {
    const QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread() ||
        identity_.iconName.isEmpty()) {
        return {};
    }
    return iconFor(identity_.iconName);
}

void WaylandApplication::setWindows(std::vector<std::uint32_t> windows, ActivationPolicy policy,
                                    bool active) {
    windows_ = std::move(windows);
    policy_ = policy;
    active_ = active;
}

bool WaylandApplication::terminate() {
    if (helperOf_ != 0) {
        // No window to ask: SIGTERM is the only polite request left.
        return !terminated_ && ProcessControl::sendSignal(pid_, startTime_, SIGTERM);
    }
    const std::shared_ptr<WaylandToplevels> toplevels = toplevels_.lock();
    // The windows and the connection belong to the connection's thread; the menu asks from its
    // pool.
    return toplevels &&
           toplevels->onOwnThread([this, &toplevels] { return askToClose(*toplevels); });
}

bool WaylandApplication::askToClose(WaylandToplevels& toplevels) {
    // Only the windows are asked, never the process: a window can refuse (unsaved work), a
    // signal could not.
    if (terminated_) {
        return false;
    }
    // A copy: the roundtrip after each request may deliver a change that updates windows_.
    const std::vector<std::uint32_t> windows = windows_;
    std::size_t sent = 0;
    for (const std::uint32_t window : windows) {
        sent += toplevels.close(window) ? 1 : 0;
    }
    logger.log("asked " + std::to_string(sent) + " of " + std::to_string(windows.size()) +
                   " windows of " + identity_.id.toStdString() + " (pid " + std::to_string(pid_) +
                   ") to close",
               VezizurLevel::info);
    return sent > 0;
}

bool WaylandApplication::forceTerminate() {
    if (terminated_) {
        return false;
    }
    if (pid_ <= 0) {
        logger.log("refused to force quit " + identity_.id.toStdString() +
                       ": this desktop does not say which process owns the window",
                   VezizurLevel::error);
        return false;
    }
    return ProcessControl::sendSignal(pid_, startTime_, SIGKILL);
}

bool WaylandApplication::activate() {
    const std::shared_ptr<WaylandToplevels> toplevels = toplevels_.lock();
    return toplevels && toplevels->onOwnThread([this, &toplevels] {
        return !terminated_ && !windows_.empty() && toplevels->activate(windows_.front());
    });
}

}  // namespace klosia
