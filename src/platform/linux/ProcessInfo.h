#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace klosia {

// The fields of /proc/PID/stat this program needs. Times are in clock ticks
// (ProcessInfo::clockTicksPerSecond()); startTime counts from boot and, with the pid, names
// exactly one process for the whole uptime.
struct ProcStat {
    pid_t pid = 0;
    pid_t ppid = 0;
    char state = '?';  // 'R', 'S', 'D', 'Z' (exited, not yet reaped), 'X', 'I', ...
    std::uint64_t utime = 0;
    std::uint64_t stime = 0;
    std::uint64_t startTime = 0;
    bool kernelThread = false;  // runs no program: never an application

    // The one test of "has this process ended": it has exited and waits to be reaped (a zombie,
    // 'Z') or is being torn down ('X', 'x' on older kernels). kill(pid, 0) still succeeds on
    // such a process, so that is no test of life.
    bool hasEnded() const { return state == 'Z' || state == 'X' || state == 'x'; }
};

// The user ids of a process, from the "Uid:" line of /proc/PID/status.
struct ProcessUids {
    uid_t real = 0;
    uid_t effective = 0;
    uid_t saved = 0;

    // A process is the user's own only when it runs with nobody else's rights: real, effective
    // and saved uid all equal `user`. A setuid program the user started (sudo, passwd) has the
    // user's real uid but another effective or saved one, and is not theirs to signal.
    bool allEqual(uid_t user) const { return real == user && effective == user && saved == user; }
};

// Whether the process that a pid and a start time name still runs.
enum class ProcessLife {
    running,
    ended,    // gone, a zombie, or the pid now names another process
    unknown,  // /proc could not be read (out of descriptors, say): ask again later
};

// Read-only access to /proc. Every function answers nullopt or an empty value when the process
// is gone, access is denied or the content is not what the kernel writes; none of them throws.
class ProcessInfo {
public:
    // Parses the text of /proc/PID/stat. The command name may hold any byte, spaces and
    // parentheses included, so the fields are taken after the last ')'.
    static std::optional<ProcStat> parseStat(std::string_view content);

    static std::optional<ProcStat> stat(pid_t pid);
    // The same as stat() for the scan of every process: the file is opened relative to an open
    // /proc directory (`procDirFd`) and read once into the caller's buffer, without allocating.
    static std::optional<ProcStat> statAt(int procDirFd, pid_t pid, char* buffer, std::size_t size);
    static std::optional<std::uint64_t> startTime(pid_t pid);
    // Tells a process that has ended from one that cannot be looked at right now, which stat()
    // alone does not.
    static ProcessLife life(pid_t pid, std::uint64_t startTime);

    // The real user id of the process (its owner for permission checks).
    static std::optional<uid_t> uid(pid_t pid);
    // Its real, effective and saved user ids; nullopt when /proc/PID/status cannot be read.
    static std::optional<ProcessUids> uids(pid_t pid);
    // Reads the "Uid:" line of the text of /proc/PID/status; nullopt when it is missing or holds
    // fewer than three ids.
    static std::optional<ProcessUids> parseUids(std::string_view status);

    // The program file; empty for kernel threads and for processes we may not inspect. A file
    // replaced or removed since the start ends in " (deleted)", as the kernel reports it.
    static QString exePath(pid_t pid);

    // The arguments, the program name first; empty for kernel threads and zombies.
    static QStringList cmdline(pid_t pid);

    // Every process (thread-group leader) visible in /proc, ascending.
    static std::vector<pid_t> listPids();
    // One pass over /proc: the stat of every process that has not ended, by pid.
    static std::unordered_map<pid_t, ProcStat> statAll();

    // A whole string of decimal digits naming a positive pid, as the entries of /proc are.
    static std::optional<pid_t> parsePid(std::string_view text);

    static long clockTicksPerSecond();
    // Clock ticks since boot, counted the way the kernel counts ProcStat::startTime (suspended
    // time included, cut to whole ticks): a process that started before this call has a start
    // time no later than the answer.
    static std::uint64_t ticksSinceBoot();
};

}  // namespace klosia
