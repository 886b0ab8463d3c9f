#pragma once

#include <sys/types.h>

#include <functional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/linux/ProcessInfo.h"

namespace klosia {

struct ProcessNode {
    pid_t pid = 0;
    pid_t ppid = 0;
};

// A windowless process listed under an application's identity.
struct BackgroundHelper {
    pid_t pid = 0;
    pid_t application = 0;  // the listed process it belongs to
};

// How many parent links a helper may be below its application (browser -> zygote -> renderer).
inline constexpr int kBackgroundHelperDepth = 4;

// The windowless processes that belong to a listed application, in the order of `processes`:
// those linked to it through parents that all run its program. `applications` are the pids that
// have windows; `sameProgram(process, application)` says whether both run the same executable as
// the same user (it reads /proc, so it is asked only along the chains that reach an application).
std::vector<BackgroundHelper> findBackgroundHelpers(
    const std::vector<ProcessNode>& processes, const std::unordered_set<pid_t>& applications,
    pid_t ownPid, const std::function<bool(pid_t helper, pid_t application)>& sameProgram);

// The same over the system's processes (`processes` as ProcessInfo::statAll() reads them): the
// program of each candidate is its /proc/PID/exe, and a helper must be the user's own (real,
// effective and saved uid ours).
std::vector<BackgroundHelper> findBackgroundHelpers(
    const std::unordered_map<pid_t, ProcStat>& processes,
    const std::unordered_set<pid_t>& applications, pid_t ownPid);

}  // namespace klosia
