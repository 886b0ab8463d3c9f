#pragma once

#include <QString>

#include <sys/types.h>
#include <cstdint>
#include <map>
#include <vector>

#include "platform/linux/SystemdUnit.h"

namespace klosia {

// One process as a look at /proc found it: with the start time, the pid names it for good.
struct UnitProcess {
    pid_t pid = 0;
    pid_t ppid = 0;
    std::uint64_t startTime = 0;
};

// The processes of one unit, ascending by pid.
struct UnitGroup {
    SystemdUnit unit;
    std::vector<UnitProcess> processes;
};

// The user's processes grouped by the systemd unit that holds them, read from a /proc tree.
class UnitProcesses {
public:
    // Every process below `procRoot` ("/proc", or a test's tree of the same files) whose real
    // uid is `uid`, in a unit that names an application, by unit name; with `onlyUnit`, that
    // unit alone. Each process's files are read through its own directory, so what one process
    // says is never mixed with what a successor of its pid says. A process that ends while it
    // is read, a zombie, a kernel thread and a file that is not what the kernel writes are left
    // out without a word: that is what /proc looks like on a busy system.
    static std::map<QString, UnitGroup> scan(const QString& procRoot, uid_t uid,
                                             const QString& onlyUnit = {});

    // The processes whose parent is outside the unit, ascending: what the launcher started,
    // and any process whose parent ended (the user's service manager, outside, adopts it).
    static std::vector<UnitProcess> roots(const UnitGroup& group);
    // `root` and every process below it within the unit, `root` first; empty when the unit
    // does not hold `root`.
    static std::vector<UnitProcess> tree(const UnitGroup& group, pid_t root);
    static bool holds(const UnitGroup& group, pid_t pid);
    // Whether `process` still runs, by its stat below `procRoot`: the same start time, not
    // ended. A file that cannot be read says it has ended.
    static bool runs(const QString& procRoot, const UnitProcess& process);
};

}  // namespace klosia
