#pragma once

#include <sys/types.h>
#include <cstdint>

#include "platform/linux/ProcessReader.h"

namespace klosia {

// The one place that signals other processes. A process is always named by its pid together
// with its kernel start time (ProcStat::startTime), so a pid that was reused for another
// process is never hit.
class ProcessControl {
public:
    // Sends SIGTERM or SIGKILL to the process. Refuses, logs the reason at error level and
    // answers false when: the signal is another one, pid <= 1, the pid is this program's own,
    // the process is gone or has already exited (a zombie), its start time differs from
    // `expectedStartTime` (the pid now names another process), it is a kernel thread, or it is
    // not the user's own: its real, effective and saved uids must all equal our real uid, so
    // another user's process and a setuid program the user started are both refused. True when
    // the kernel accepted the signal; that does not mean the process has ended. What the checks
    // read comes from `reader`.
    static bool sendSignal(pid_t pid, std::uint64_t expectedStartTime, int signal,
                           const ProcessReader& reader = ProcessReader::system());

    // Whether the process still runs. An exited process that its parent has not reaped yet (a
    // zombie) has ended, although kill(pid, 0) still succeeds on it.
    static bool isAlive(pid_t pid, std::uint64_t startTime);
};

}  // namespace klosia
