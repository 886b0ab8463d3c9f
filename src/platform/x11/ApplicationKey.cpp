#include "platform/x11/ApplicationKey.h"

namespace klosia {

std::optional<ApplicationKey> applicationKey(const WindowOwner& owner, const QString& host,
                                             const std::unordered_map<pid_t, ProcStat>& processes,
                                             std::uint64_t snapshotTakenAt) {
    if (owner.isClient()) {
        return ApplicationKey{0, 0, owner.client, host};
    }
    if (!owner.isProcess()) {
        return std::nullopt;
    }
    const auto stat = processes.find(owner.pid);
    if (stat == processes.end()) {
        return std::nullopt;  // ended since its window was read, or in another pid namespace
    }
    if (stat->second.hasEnded()) {
        return std::nullopt;  // a zombie: its windows are on their way out
    }
    if (snapshotTakenAt != 0 && stat->second.startTime > snapshotTakenAt) {
        return std::nullopt;  // the pid was reused after the server named it
    }
    return ApplicationKey{owner.pid, stat->second.startTime, 0, {}};
}

}  // namespace klosia
