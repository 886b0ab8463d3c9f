#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/RunningApplication.h"

namespace klosia {

class WaylandToplevels;

// An application of a Wayland desktop: the toplevels that one process (or, when the desktop
// does not say which process owns them, one app_id) shows, or a windowless helper of one. Polite
// quit asks every toplevel to close (a helper, which has none, gets SIGTERM); force quit kills
// the process only when the compositor vouched for its pid, or for its application's.
class WaylandApplication : public RunningApplication {
public:
    struct Identity {
        QString id;  // the desktop id, or the app_id without an entry
        QString name;
        QString iconName;
    };

    WaylandApplication(std::weak_ptr<WaylandToplevels> toplevels, pid_t pid,
                       std::uint64_t startTime, Identity identity);

    pid_t processIdentifier() const override { return pid_; }
    std::uint64_t startTime() const override { return startTime_; }
    QString localizedName() const override { return identity_.name; }
    QString bundleIdentifier() const override { return identity_.id; }
    QIcon icon() const override;
    ActivationPolicy activationPolicy() const override { return policy_; }
    pid_t helperOf() const override { return helperOf_; }
    const Identity& identity() const { return identity_; }
    bool isActive() const override { return active_ && !terminated_; }
    bool isTerminated() const override { return terminated_; }

    bool terminate() override;
    bool forceTerminate() override;
    bool activate() override;

    // Kept current by the workspace, on the connection's thread.
    void setWindows(std::vector<std::uint32_t> windows, ActivationPolicy policy, bool active);
    void markTerminated() { terminated_ = true; }
    // A windowless process of the application `application`, listed under its identity.
    void setHelperOf(pid_t application) {
        helperOf_ = application;
        policy_ = ActivationPolicy::prohibited;
    }

private:
    bool askToClose(WaylandToplevels& toplevels);

    std::weak_ptr<WaylandToplevels> toplevels_;
    pid_t pid_;
    std::uint64_t startTime_;
    Identity identity_;
    std::vector<std::uint32_t> windows_;
    ActivationPolicy policy_ = ActivationPolicy::regular;
    bool active_ = false;
    std::atomic<bool> terminated_{false};
    pid_t helperOf_ = 0;
};

}  // namespace klosia
