#include "platform/linux/UnitProcesses.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iterator>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/linux/Descriptor.h"
#include "platform/linux/ProcessInfo.h"

namespace klosia {

namespace {

// Far more than any cgroup, stat or status file of a process; a longer one is not the
// kernel's, and is refused rather than cut.
constexpr std::size_t kMaxFile = std::size_t{64} << 10;

int openRetrying(int dirFd, const char* path, int flags) {
    int fd = -1;
    do {
        fd = ::openat(dirFd, path, flags | O_RDONLY | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::optional<std::string> readAt(int dirFd, const char* name) {
    const Descriptor file(openRetrying(dirFd, name, 0));
    if (file.get() < 0) {
        return std::nullopt;
    }
    std::string content;
    std::array<char, 4096> chunk{};
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 || content.size() + static_cast<std::size_t>(got) > kMaxFile) {
            return std::nullopt;
        }
        if (got == 0) {
            return content;
        }
        content.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

// The process behind an open /proc/PID directory, when it is one of the user's in an
// application unit (`onlyUnit`, when given).
std::optional<std::pair<SystemdUnit, UnitProcess>> readProcess(int pidDir, pid_t pid, uid_t uid,
                                                               const QString& onlyUnit) {
    const std::optional<std::string> cgroup = readAt(pidDir, "cgroup");
    if (!cgroup) {
        return std::nullopt;
    }
    std::optional<SystemdUnit> unit = SystemdUnit::fromCgroup(*cgroup);
    if (!unit || !unit->isApplication() || (!onlyUnit.isEmpty() && unit->name() != onlyUnit)) {
        return std::nullopt;
    }
    const std::optional<std::string> statText = readAt(pidDir, "stat");
    const std::optional<ProcStat> stat =
        statText ? ProcessInfo::parseStat(*statText) : std::nullopt;
    if (!stat || stat->pid != pid || stat->hasEnded() || stat->kernelThread) {
        return std::nullopt;
    }
    const std::optional<std::string> status = readAt(pidDir, "status");
    const std::optional<ProcessUids> uids = status ? ProcessInfo::parseUids(*status) : std::nullopt;
    if (!uids || uids->real != uid) {
        return std::nullopt;
    }
    return std::make_pair(std::move(*unit), UnitProcess{pid, stat->ppid, stat->startTime});
}

}  // namespace

std::map<QString, UnitGroup> UnitProcesses::scan(const QString& procRoot, uid_t uid,
                                                 const QString& onlyUnit) {
    std::map<QString, UnitGroup> groups;
    const QByteArray root = procRoot.toLocal8Bit();
    const Descriptor rootFd(openRetrying(AT_FDCWD, root.constData(), O_DIRECTORY));
    if (rootFd.get() < 0) {
        return groups;
    }
    // A directory stream of its own: closedir() closes the duplicate, the openat()s use ours.
    DIR* dir = ::fdopendir(::dup(rootFd.get()));
    if (dir == nullptr) {
        return groups;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::optional<pid_t> pid = ProcessInfo::parsePid(entry->d_name);
        if (!pid) {
            continue;
        }
        // Files opened through the process's directory belong to that process: once it ends
        // they fail, even when its pid has already gone to another one.
        const Descriptor pidDir(openRetrying(rootFd.get(), entry->d_name, O_DIRECTORY));
        if (pidDir.get() < 0) {
            continue;
        }
        auto found = readProcess(pidDir.get(), *pid, uid, onlyUnit);
        if (!found) {
            continue;
        }
        auto [slot, added] = groups.try_emplace(found->first.name(), UnitGroup{found->first, {}});
        slot->second.processes.push_back(found->second);
    }
    ::closedir(dir);
    for (auto& [name, group] : groups) {
        std::sort(group.processes.begin(), group.processes.end(),
                  [](const UnitProcess& a, const UnitProcess& b) { return a.pid < b.pid; });
    }
    return groups;
}

std::vector<UnitProcess> UnitProcesses::roots(const UnitGroup& group) {
    std::unordered_set<pid_t> members;
    for (const UnitProcess& process : group.processes) {
        members.insert(process.pid);
    }
    std::vector<UnitProcess> result;
    std::copy_if(
        group.processes.begin(), group.processes.end(), std::back_inserter(result),
        [&members](const UnitProcess& process) { return !members.contains(process.ppid); });
    return result;
}

std::vector<UnitProcess> UnitProcesses::tree(const UnitGroup& group, pid_t root) {
    std::unordered_map<pid_t, std::vector<UnitProcess>> children;
    const UnitProcess* top = nullptr;
    for (const UnitProcess& process : group.processes) {
        children[process.ppid].push_back(process);
        if (process.pid == root) {
            top = &process;
        }
    }
    std::vector<UnitProcess> result;
    if (top == nullptr) {
        return result;
    }
    // A set of the pids taken: a tree read from files can hold a loop no kernel would make.
    std::unordered_set<pid_t> taken{root};
    result.push_back(*top);
    for (std::size_t next = 0; next < result.size(); ++next) {
        for (const UnitProcess& child : children[result[next].pid]) {
            if (taken.insert(child.pid).second) {
                result.push_back(child);
            }
        }
    }
    return result;
}

bool UnitProcesses::holds(const UnitGroup& group, pid_t pid) {
    return std::any_of(group.processes.begin(), group.processes.end(),
                       [pid](const UnitProcess& process) { return process.pid == pid; });
}

bool UnitProcesses::runs(const QString& procRoot, const UnitProcess& process) {
    if (process.pid <= 0) {
        return false;
    }
    const QByteArray path =
        (procRoot + QLatin1Char('/') + QString::number(process.pid)).toLocal8Bit();
    const Descriptor pidDir(openRetrying(AT_FDCWD, path.constData(), O_DIRECTORY));
    const std::optional<std::string> text =
        pidDir.get() < 0 ? std::nullopt : readAt(pidDir.get(), "stat");
    const std::optional<ProcStat> stat = text ? ProcessInfo::parseStat(*text) : std::nullopt;
    return stat && stat->pid == process.pid && stat->startTime == process.startTime &&
           !stat->hasEnded();
}

}  // namespace klosia
