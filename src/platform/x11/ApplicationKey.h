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

// The key of the application that owns windows, or nullopt when they cannot be bound now.
// `processes` is /proc read after the snapshot that named the owner.
std::optional<ApplicationKey> applicationKey(const WindowOwner& owner, const QString& host,
                                             const std::unordered_map<pid_t, ProcStat>& processes);

}  // namespace klosia
