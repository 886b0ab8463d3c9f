#pragma once

#include <sys/types.h>

#include <optional>

#include "platform/linux/ProcessInfo.h"

namespace klosia {

// What the checks before a signal read about a process: the system's /proc in the program. A
// test puts a fake in front of it to present a process it cannot create, such as a setuid
// program of the user.
class ProcessReader {
public:
    virtual ~ProcessReader() = default;
    virtual std::optional<ProcStat> stat(pid_t pid) const = 0;
    virtual std::optional<ProcessUids> uids(pid_t pid) const = 0;

    // ProcessInfo's answers.
    static const ProcessReader& system();
};

}  // namespace klosia
