#pragma once

#include <QIcon>
#include <QString>

#include <atomic>
#include <memory>

#include "platform/RunningApplication.h"

namespace klosia::test {

// A running application in memory: every property is a plain field, and the requests count
// their calls and answer what the test set. Requests may come from several threads at once.
class FakeRunningApplication final : public RunningApplication {
public:
    FakeRunningApplication() = default;
    FakeRunningApplication(QString appName, QString identifier,
                           ActivationPolicy kind = ActivationPolicy::regular, pid_t processId = 0);

    static std::shared_ptr<FakeRunningApplication> make(
        QString appName, QString identifier, ActivationPolicy kind = ActivationPolicy::regular,
        pid_t processId = 0);

    pid_t processIdentifier() const override { return pid; }
    std::uint64_t startTime() const override { return started; }
    QString localizedName() const override { return name; }
    QString bundleIdentifier() const override { return bundleId; }
    QIcon icon() const override { return appIcon; }
    ActivationPolicy activationPolicy() const override { return policy; }
    pid_t helperOf() const override { return application; }
    bool isActive() const override { return active; }
    bool isTerminated() const override { return terminated; }

    // A handle whose process has ended answers false, as the real ones do. With
    // `endsOnRequest`, an accepted request ends the process at once.
    bool terminate() override;
    bool forceTerminate() override;
    bool activate() override;
    QString quitUnavailableReason() const override { return quitReason; }

    pid_t pid = 0;
    std::uint64_t started = 0;
    QString name;
    QString bundleId;
    QIcon appIcon;
    ActivationPolicy policy = ActivationPolicy::regular;
    pid_t application = 0;  // helperOf()
    QString quitReason;     // quitUnavailableReason()
    std::atomic<bool> active{false};
    std::atomic<bool> terminated{false};

    std::atomic<bool> terminateAnswer{true};
    std::atomic<bool> forceTerminateAnswer{true};
    std::atomic<bool> endsOnRequest{false};
    std::atomic<int> terminateCalls{0};
    std::atomic<int> forceTerminateCalls{0};
    std::atomic<int> activateCalls{0};
};

using FakeRunningApplicationPtr = std::shared_ptr<FakeRunningApplication>;

}  // namespace klosia::test
