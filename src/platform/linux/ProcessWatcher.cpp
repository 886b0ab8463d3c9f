#include "platform/linux/ProcessWatcher.h"

#include <unistd.h>

#include <QMetaObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "log/Vezizur.h"
#include "platform/linux/PidFd.h"
#include "platform/linux/ProcessInfo.h"

namespace klosia {

ProcessWatcher::ProcessWatcher(QObject* parent) : QObject(parent) {}

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

    PidFd pidFd(pid);
    if (!pidFd.isOpen()) {
        if (pidFd.error() == ESRCH) {
            finishLater(pid, token);
            return;
        }
        logger.log("cannot open a pidfd for pid " + std::to_string(pid) + " (" +
                       std::strerror(pidFd.error()) + "): polling for its exit",
                   VezizurLevel::warning);
        startPolling(pid, entry);
        return;
    }
    // With the pidfd open, the start time tells whether it pins the process we were given.
    switch (ProcessInfo::life(pid, startTime)) {
        case ProcessLife::ended:
            finishLater(pid, token);
            return;
        case ProcessLife::unknown:
            // The pidfd may pin a process that reused the pid: look at /proc until it answers.
            startPolling(pid, entry);
            return;
        case ProcessLife::running:
            break;
    }
    const int fd = pidFd.fd();
    entry.pidFd = std::move(pidFd);
    entry.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(entry.notifier, &QSocketNotifier::activated, this,
            [this, pid, token] { finish(pid, token); });
}

void ProcessWatcher::finishLater(pid_t pid, std::uint64_t token) {
    QMetaObject::invokeMethod(
        this, [this, pid, token] { finish(pid, token); }, Qt::QueuedConnection);
}

void ProcessWatcher::startPolling(pid_t pid, Watch& entry) {
    const std::uint64_t token = entry.token;
    const std::uint64_t startTime = entry.startTime;
    entry.poll = new QTimer(this);
    entry.poll->setInterval(kPollInterval);
    connect(entry.poll, &QTimer::timeout, this, [this, pid, token, startTime] {
        // Only a definite answer ends the watch; an unreadable /proc is asked again.
        if (ProcessInfo::life(pid, startTime) == ProcessLife::ended) {
            finish(pid, token);
        }
    });
    entry.poll->start();
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
    if (watch.poll != nullptr) {
        watch.poll->stop();
        watch.poll->disconnect();
        watch.poll->deleteLater();
        watch.poll = nullptr;
    }
    watch.pidFd = PidFd();
}

}  // namespace klosia
