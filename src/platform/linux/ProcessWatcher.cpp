#include "platform/linux/ProcessWatcher.h"

#include <unistd.h>

#include <QMetaObject>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "log/Vezizur.h"
#include "platform/linux/ProcessInfo.h"

// glibc 2.36 declares these without C linkage.
extern "C" {
#include <sys/pidfd.h>
}

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

    int fd = pid > 0 ? ::pidfd_open(pid, 0) : -1;
    const int error = errno;
    if (fd < 0 && pid > 0 && error != ESRCH) {
        // Without a pidfd (out of descriptors) the process cannot be watched; answering
        // "exited" lets the caller look again rather than wait forever.
        logger.log("cannot watch pid " + std::to_string(pid) + ": " + std::strerror(error),
                   VezizurLevel::error);
    }
    if (fd >= 0) {
        // With the pidfd open, the start time tells whether it pins the process we were given.
        const auto current = ProcessInfo::stat(pid);
        if (!current || current->startTime != startTime || current->state == 'Z' ||
            current->state == 'X') {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        QMetaObject::invokeMethod(
            this, [this, pid, token] { finish(pid, token); }, Qt::QueuedConnection);
        return;
    }
    entry.fd = fd;
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
    if (watch.fd >= 0) {
        ::close(watch.fd);
        watch.fd = -1;
    }
}

}  // namespace klosia
