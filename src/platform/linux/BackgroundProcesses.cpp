#include "platform/linux/BackgroundProcesses.h"

#include <unistd.h>

#include <QString>

#include <algorithm>
#include <unordered_map>

namespace klosia {

std::vector<BackgroundHelper> findBackgroundHelpers(
    const std::vector<ProcessNode>& processes, const std::unordered_set<pid_t>& applications,
    pid_t ownPid, const std::function<bool(pid_t helper, pid_t application)>& sameProgram) {
    std::unordered_map<pid_t, pid_t> parentOf;
    parentOf.reserve(processes.size());
    for (const ProcessNode& node : processes) {
        parentOf.emplace(node.pid, node.ppid);
    }

    // A windowless process is a background part of an application when its parent chain
    // reaches, within kBackgroundHelperDepth links, a process with windows, and every process
    // on the way, the helper included, runs the very same executable (/proc/PID/exe) as that
    // application, as the same user: the zygote, content, GPU and utility processes a browser
    // starts from its own executable. A process of another program anywhere on the way (the
    // shell in a terminal, a compiler under an editor, `sh -c` running the user's job) makes
    // what runs below it the user's own work, even when it is a copy of the application:
    // quitting it as part of the application would be wrong. Our own process and pid 1 never
    // qualify, and the chain stops at pid 1.
    std::vector<BackgroundHelper> helpers;
    std::vector<pid_t> chain;
    for (const ProcessNode& node : processes) {
        if (node.pid <= 1 || node.pid == ownPid || applications.contains(node.pid)) {
            continue;
        }
        chain.assign(1, node.pid);
        pid_t ancestor = node.ppid;
        for (int depth = 0; depth < kBackgroundHelperDepth && ancestor > 1; ++depth) {
            if (applications.contains(ancestor)) {
                if (ancestor != ownPid && std::all_of(chain.begin(), chain.end(), [&](pid_t link) {
                        return sameProgram(link, ancestor);
                    })) {
                    helpers.push_back({node.pid, ancestor});
                }
                break;
            }
            const auto parent = parentOf.find(ancestor);
            if (parent == parentOf.end() || parent->second == ancestor) {
                break;
            }
            chain.push_back(ancestor);
            ancestor = parent->second;
        }
    }
    return helpers;
}

std::vector<BackgroundHelper> findBackgroundHelpers(
    const std::unordered_map<pid_t, ProcStat>& processes,
    const std::unordered_set<pid_t>& applications, pid_t ownPid) {
    std::vector<ProcessNode> nodes;
    nodes.reserve(processes.size());
    for (const auto& [pid, stat] : processes) {
        nodes.push_back({pid, stat.ppid});
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const ProcessNode& a, const ProcessNode& b) { return a.pid < b.pid; });
    std::unordered_map<pid_t, QString> exeCache;
    auto exeOf = [&exeCache](pid_t pid) -> const QString& {
        auto [it, inserted] = exeCache.try_emplace(pid);
        if (inserted) {
            it->second = ProcessInfo::exePath(pid);
        }
        return it->second;
    };
    const uid_t ownUid = ::getuid();
    const auto sameProgram = [&](pid_t helper, pid_t application) {
        const auto uids = ProcessInfo::uids(helper);
        const QString& exe = exeOf(application);
        return uids && uids->allEqual(ownUid) && !exe.isEmpty() && exeOf(helper) == exe;
    };
    return findBackgroundHelpers(nodes, applications, ownPid, sameProgram);
}

}  // namespace klosia
