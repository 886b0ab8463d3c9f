#include "fakes/FakeRunningApplication.h"

namespace klosia::test {

FakeRunningApplication::FakeRunningApplication(QString appName, QString identifier,
                                               ActivationPolicy kind, pid_t processId)
    : pid(processId), name(std::move(appName)), bundleId(std::move(identifier)), policy(kind) {}

std::shared_ptr<FakeRunningApplication> FakeRunningApplication::make(QString appName,
                                                                     QString identifier,
                                                                     ActivationPolicy kind,
                                                                     pid_t processId) {
    return std::make_shared<FakeRunningApplication>(std::move(appName), std::move(identifier), kind,
                                                    processId);
}

bool FakeRunningApplication::terminate() {
    ++terminateCalls;
    if (terminated || !terminateAnswer) {
        return false;
    }
    if (endsOnRequest) {
        terminated = true;
    }
    return true;
}

bool FakeRunningApplication::forceTerminate() {
    ++forceTerminateCalls;
    if (terminated || !forceTerminateAnswer) {
        return false;
    }
    if (endsOnRequest) {
        terminated = true;
    }
    return true;
}

bool FakeRunningApplication::activate() {
    ++activateCalls;
    if (terminated) {
        return false;
    }
    active = true;
    return true;
}

}  // namespace klosia::test
