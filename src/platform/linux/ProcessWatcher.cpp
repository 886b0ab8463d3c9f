#include "platform/linux/ProcessWatcher.h"

#include <unistd.h>

#include <QMetaObject>
#include <QSocketNotifier>

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
    entry.onExit = std::move(onExit);
    const std::uint64_t token = entry.token;

    PidFd pidFd(pid);
    if (!pidFd.isOpen() && pidFd.error() != ESRCH) {
        // Without a pidfd (out of descriptors) the process cannot be watched; answering
        // "exited" lets the caller look again rather than wait forever.
        logger.log("cannot watch pid " + std::to_string(pid) + ": " + std::strerror(pidFd.error()),
                   VezizurLevel::error);
    }
    // With the pidfd open, the start time tells whether it pins the process we were given.
    if (!pidFd.isOpen() || ProcessInfo::life(pid, startTime) != ProcessLife::running) {
        QMetaObject::invokeMethod(
            this, [this, pid, token] { finish(pid, token); }, Qt::QueuedConnection);
        return;
    }
    const int fd = pidFd.fd();
    entry.pidFd = std::move(pidFd);
    entry.notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    connect(entry.notifier, &QSocketNotifier::activated, this,
            [this, pid, token] { finish(pid, token); });
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
    watch.pidFd = PidFd();
}

}  // namespace klosia
