#include "platform/linux/ProcessWatcher.h"

#include <unistd.h>

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "log/Vezizur.h"
#include "platform/linux/PidFd.h"
#include "platform/linux/ProcessInfo.h"

namespace klosia {

ProcessWatcher::ProcessWatcher(QObject* parent) : QObject(parent), pollTimer_(new QTimer(this)) {
    pollTimer_->setInterval(kPollInterval);
    connect(pollTimer_, &QTimer::timeout, this, [this] { poll(); });
}

ProcessWatcher::~ProcessWatcher() {
    for (auto& entry : watches_) {
        release(entry.second);
    }
}

void ProcessWatcher::watch(pid_t pid, std::uint64_t startTime, ExitCallback onExit) {
    unwatch(pid);
    Watch& entry = watches_[pid];
    entry.token = ++nextToken_;
    entry.startTime = startTime;
    entry.onExit = std::move(onExit);
    const std::uint64_t token = entry.token;

    if (pidFds_ >= kMaxPidFds) {
        startPolling(entry);
        return;
    }
    PidFd pidFd(pid);
    if (!pidFd.isOpen()) {
        if (pidFd.error() == ESRCH) {
            finishLater(pid, token);
            return;
        }
        logger.log("cannot open a pidfd for pid " + std::to_string(pid) + " (" +
                       std::strerror(pidFd.error()) + "): polling for its exit",
                   VezizurLevel::warning);
        startPolling(entry);
        return;
    }
    // With the pidfd open, the start time tells whether it pins the process we were given.
    switch (ProcessInfo::life(pid, startTime)) {
        case ProcessLife::ended:
            finishLater(pid, token);
            return;
        case ProcessLife::unknown:
            // The pidfd may pin a process that reused the pid: look at /proc until it answers.
            startPolling(entry);
            return;
        case ProcessLife::running:
            break;
    }
    const int fd = pidFd.fd();
    entry.pidFd = std::move(pidFd);
    ++pidFds_;
    entry.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(entry.notifier, &QSocketNotifier::activated, this,
            [this, pid, token] { finish(pid, token); });
}

void ProcessWatcher::finishLater(pid_t pid, std::uint64_t token) {
    QMetaObject::invokeMethod(
        this, [this, pid, token] { finish(pid, token); }, Qt::QueuedConnection);
}

void ProcessWatcher::startPolling(Watch& entry) {
    entry.polled = true;
    if (!pollTimer_->isActive()) {
        pollTimer_->start();
    }
}

void ProcessWatcher::poll() {
    std::vector<std::pair<pid_t, std::uint64_t>> ended;
    bool any = false;
    for (const auto& [pid, entry] : watches_) {
        if (!entry.polled) {
            continue;
        }
        any = true;
        // Only a definite answer ends the watch; an unreadable /proc is asked again.
        if (ProcessInfo::life(pid, entry.startTime) == ProcessLife::ended) {
            ended.emplace_back(pid, entry.token);
        }
    }
    if (!any) {
        pollTimer_->stop();
    }
    for (const auto& [pid, token] : ended) {
        finish(pid, token);
    }
}

std::size_t ProcessWatcher::polled() const {
    std::size_t count = 0;
    for (const auto& entry : watches_) {
        count += entry.second.polled ? 1 : 0;
    }
    return count;
}

void ProcessWatcher::unwatch(pid_t pid) {
    const auto found = watches_.find(pid);
    if (found == watches_.end()) {
        return;
    }
    release(found->second);
    watches_.erase(found);
}

bool ProcessWatcher::isWatching(pid_t pid) const {
    return watches_.count(pid) != 0;
}

void ProcessWatcher::finish(pid_t pid, std::uint64_t token) {
    const auto found = watches_.find(pid);
    if (found == watches_.end() || found->second.token != token) {
        return;  // unwatched or replaced meanwhile
    }
    ExitCallback onExit = std::move(found->second.onExit);
    release(found->second);
    watches_.erase(found);
    // Last, so that the callback may watch or unwatch freely.
    if (onExit) {
        onExit();
    }
}

void ProcessWatcher::release(Watch& watch) {
    if (watch.notifier != nullptr) {
        // May run inside the notifier's own signal: stop it now, delete it later.
        watch.notifier->setEnabled(false);
        watch.notifier->disconnect();
        watch.notifier->deleteLater();
        watch.notifier = nullptr;
    }
    watch.polled = false;
    if (watch.pidFd.isOpen()) {
        --pidFds_;
    }
    watch.pidFd = PidFd();
}

}  // namespace klosia
