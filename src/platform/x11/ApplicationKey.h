#pragma once

#include <sys/types.h>

#include <QString>

#include <cstdint>
#include <optional>
#include <unordered_map>

#include "platform/linux/ProcessInfo.h"
#include "platform/x11/WindowOwner.h"

namespace klosia {

// Names one application of the workspace for its whole life: a local process by its pid and
// start time (one process for the whole uptime), an X client without a process by its resource
// base and the host it names.
struct ApplicationKey {
    pid_t pid = 0;
    std::uint64_t startTime = 0;
    std::uint32_t client = 0;
    QString host;

    bool isProcess() const { return pid > 0; }

    friend bool operator==(const ApplicationKey& a, const ApplicationKey& b) {
        return a.pid == b.pid && a.startTime == b.startTime && a.client == b.client &&
               a.host == b.host;
    }
    friend bool operator<(const ApplicationKey& a, const ApplicationKey& b) {
        if (a.pid != b.pid) {
            return a.pid < b.pid;
        }
        if (a.startTime != b.startTime) {
            return a.startTime < b.startTime;
        }
        if (a.client != b.client) {
            return a.client < b.client;
        }
        return a.host < b.host;
    }
};

// The key of the application that owns windows, or nullopt when they cannot be bound now (the
// process is gone or has ended: a zombie's windows are on their way out, and listing it again
// would announce a launch of an application that just ended).
// `processes` is /proc read after the snapshot that named the owner; `snapshotTakenAt` is when
// that snapshot began (ProcessInfo::ticksSinceBoot(), 0 when unknown).
//
// The pid the X server gives may be reused by a new process before /proc is read, and that
// process would then pass every later start-time check. The rule: a window is bound to a
// process only when the process started no later than the snapshot began. A process that
// started after it cannot own windows the server listed before it existed. (Both times count
// whole clock ticks, so a process started within the very tick of the snapshot still passes;
// a reuse of the pid inside that one tick is the window left open.)
std::optional<ApplicationKey> applicationKey(const WindowOwner& owner, const QString& host,
                                             const std::unordered_map<pid_t, ProcStat>& processes,
                                             std::uint64_t snapshotTakenAt);

}  // namespace klosia
