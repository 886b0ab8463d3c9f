#include "model/QuitTargets.h"

#include <unordered_set>

namespace klosia {

std::vector<RunningApplicationPtr> politeQuitTargets(
    const std::vector<RunningApplicationPtr>& targets) {
    std::unordered_set<pid_t> applications;
    for (const RunningApplicationPtr& app : targets) {
        if (app && app->helperOf() == 0 && app->processIdentifier() > 0) {
            applications.insert(app->processIdentifier());
        }
    }
    std::vector<RunningApplicationPtr> asked;
    asked.reserve(targets.size());
    for (const RunningApplicationPtr& app : targets) {
        if (app && app->helperOf() != 0 && applications.contains(app->helperOf())) {
            continue;
        }
        asked.push_back(app);
    }
    return asked;
}

}  // namespace klosia
