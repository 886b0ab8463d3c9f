#pragma once

#include <memory>

#include "platform/x11/X11Application.h"

namespace klosia {

// An application whose windows belong to a local process of the user. Its pid and start time
// never change; together they name exactly one process, so a reused pid is never signalled.
class X11RunningApplication final : public X11Application {
public:
    X11RunningApplication(std::shared_ptr<XcbConnection> connection, pid_t pid,
                          std::uint64_t startTime);

    pid_t processIdentifier() const override { return pid_; }
    std::uint64_t startTime() const override { return startTime_; }
    bool isTerminated() const override;

    // Asks every window that takes WM_DELETE_WINDOW to close. SIGTERM only when no window of the
    // process could be asked: most toolkits die on SIGTERM without asking to save, so a window
    // that cannot be asked must not cost the unsaved work of one that can.
    bool terminate() override;
    bool forceTerminate() override;

    WindowOwner owner() const override { return {pid_, 0}; }
    std::string describe() const override;

private:
    // False, and the handle marked terminated, once the pid no longer names our process.
    bool stillRunning() const;

    const pid_t pid_;
    const std::uint64_t startTime_;
};

}  // namespace klosia
