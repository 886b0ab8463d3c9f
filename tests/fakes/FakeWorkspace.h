#pragma once

#include <vector>

#include "fakes/FakeRunningApplication.h"
#include "platform/Workspace.h"

namespace klosia::test {

// A workspace in memory. launch() and quit() change the list and fire the workspace's events
// synchronously; setApplications() replaces it silently.
class FakeWorkspace final : public Workspace {
public:
    std::vector<RunningApplicationPtr> runningApplications() override { return applications; }
    RunningApplicationPtr frontmostApplication() override { return frontmost; }

    // Appends the application and reports its launch.
    void launch(const RunningApplicationPtr& app);
    // Removes the application, marks a fake one terminated, and reports its end. Unknown
    // applications are ignored.
    void quit(const RunningApplicationPtr& app);
    void setApplications(std::vector<RunningApplicationPtr> apps) {
        applications = std::move(apps);
    }

    std::vector<RunningApplicationPtr> applications;
    RunningApplicationPtr frontmost;
};

}  // namespace klosia::test
