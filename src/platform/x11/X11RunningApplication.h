#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

#include "platform/RunningApplication.h"

namespace klosia {

class XcbConnection;

// One process of the X desktop. Its pid and start time never change; the workspace updates the
// rest on the main thread as the desktop changes. The requests may be called from any thread.
class X11RunningApplication final : public RunningApplication {
public:
    X11RunningApplication(std::shared_ptr<XcbConnection> connection, pid_t pid,
                          std::uint64_t startTime);

    pid_t processIdentifier() const override { return pid_; }
    std::uint64_t startTime() const override { return startTime_; }
    QString localizedName() const override;
    QString bundleIdentifier() const override;
    QIcon icon() const override;
    ActivationPolicy activationPolicy() const override;
    bool isActive() const override;
    bool isTerminated() const override;

    bool terminate() override;
    bool forceTerminate() override;
    bool activate() override;

    // Set by the workspace.
    void setIdentity(const QString& bundleIdentifier, const QString& name, const QString& iconName);
    void setIconWindow(std::uint32_t window);
    void setActivationPolicy(ActivationPolicy policy);
    void setActive(bool active);
    void markTerminated();

    QString iconName() const;

private:
    // False, and the handle marked terminated, once the pid no longer names our process.
    bool stillRunning() const;

    const std::shared_ptr<XcbConnection> connection_;
    const pid_t pid_;
    const std::uint64_t startTime_;

    mutable std::mutex mutex_;
    QString bundleIdentifier_;
    QString name_;
    QString iconName_;
    std::uint32_t iconWindow_ = 0;
    mutable std::optional<QIcon> icon_;

    std::atomic<ActivationPolicy> policy_{ActivationPolicy::regular};
    std::atomic<bool> active_{false};
    mutable std::atomic<bool> terminated_{false};
};

}  // namespace klosia
