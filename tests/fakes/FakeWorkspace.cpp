#include "fakes/FakeWorkspace.h"

#include <algorithm>

namespace klosia::test {

void FakeWorkspace::launch(const RunningApplicationPtr& app) {
    applications.push_back(app);
    postDidLaunch(app);
}

void FakeWorkspace::quit(const RunningApplicationPtr& app) {
    const auto it = std::find(applications.begin(), applications.end(), app);
    if (it == applications.end()) {
        return;
    }
    applications.erase(it);
    if (frontmost == app) {
        frontmost = nullptr;
    }
    if (auto* fake = dynamic_cast<FakeRunningApplication*>(app.get())) {
        fake->terminated = true;
    }
    postDidTerminate(app);
}

}  // namespace klosia::test
