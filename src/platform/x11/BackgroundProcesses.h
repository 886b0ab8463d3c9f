#pragma once

#include <sys/types.h>

#include <functional>
#include <unordered_set>
#include <vector>

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

// The windowless processes that belong to a listed application, in the order of `processes`.
// `applications` are the pids that have windows; `sameProgram(helper, application)` says whether
// both run the same executable as the same user (it reads /proc, so it is asked only for the few
// candidates the parent chains leave).
std::vector<BackgroundHelper> findBackgroundHelpers(
    const std::vector<ProcessNode>& processes, const std::unordered_set<pid_t>& applications,
    pid_t ownPid, const std::function<bool(pid_t helper, pid_t application)>& sameProgram);

}  // namespace klosia
