#pragma once

#include <QObject>

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>

#include "platform/linux/PidFd.h"

class QSocketNotifier;
class QTimer;

namespace klosia {

// Reports when processes exit, through the event loop of the thread that owns the watcher: a
// pidfd per process turns readable when the process exits (already while it is a zombie). At
// most kMaxPidFds are held, so that what else the program opens (settings, fonts, the display,
// the pidfd a quit needs) always finds a descriptor; beyond them, or when no pidfd can be had,
// one timer looks at /proc for all the others every kPollInterval: a process is never reported
// as ended just because it could not be watched. Use it from its own thread only.
class ProcessWatcher : public QObject {
    Q_OBJECT

public:
    using ExitCallback = std::function<void()>;

    explicit ProcessWatcher(QObject* parent = nullptr);
    ~ProcessWatcher() override;
    ProcessWatcher(const ProcessWatcher&) = delete;
    ProcessWatcher& operator=(const ProcessWatcher&) = delete;

    // Calls `onExit` once, from the event loop and never from inside watch(), when the process
    // named by `pid` and `startTime` exits. A process that is already gone, a zombie, or a pid
    // whose start time differs (it now names another process) counts as exited: the call then
    // comes on the next pass of the event loop. Watching a pid again replaces the earlier
    // watch, whose callback is dropped.
    void watch(pid_t pid, std::uint64_t startTime, ExitCallback onExit);

    // Drops the watch; its callback is not called. Unknown pids are ignored.
    void unwatch(pid_t pid);

    bool isWatching(pid_t pid) const;

    static constexpr int kPollInterval = 250;  // ms
    static constexpr std::size_t kMaxPidFds = 256;

    // For tests: how many watches hold a pidfd, and how many are polled.
    std::size_t pidFds() const { return pidFds_; }
    std::size_t polled() const;

private:
    struct Watch {
        std::uint64_t token = 0;
        std::uint64_t startTime = 0;
        PidFd pidFd;
        QSocketNotifier* notifier = nullptr;
        bool polled = false;  // instead of the notifier when there is no pidfd
        ExitCallback onExit;
    };

    void finishLater(pid_t pid, std::uint64_t token);
    void startPolling(Watch& entry);
    void poll();
    void finish(pid_t pid, std::uint64_t token);
    void release(Watch& watch);

    std::unordered_map<pid_t, Watch> watches_;
    std::uint64_t nextToken_ = 0;
    std::size_t pidFds_ = 0;
    QTimer* pollTimer_ = nullptr;
};

}  // namespace klosia
