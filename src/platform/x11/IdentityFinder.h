#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>

namespace klosia {

class DesktopEntries;
class X11Application;
struct WindowRecord;

// Gives the workspace's applications their identity (ApplicationIdentity) from the installed
// desktop entries, and keeps it up to date: an identity is looked for again when the window's
// identifying properties change (a client that sets WM_CLASS only after mapping its window), and
// one found without an entry when the entries were read anew (an application installed while it
// runs). Main thread only.
class IdentityFinder {
public:
    IdentityFinder();
    ~IdentityFinder();
    IdentityFinder(const IdentityFinder&) = delete;
    IdentityFinder& operator=(const IdentityFinder&) = delete;

    // Identifies the application of `window` (null for a process known by its tray icon only)
    // and process `pid` (0 for an X client without one), and gives the result to `app`. With
    // `again`, only when something it depends on changed since the last time.
    void identify(X11Application& app, const WindowRecord* window, pid_t pid, bool again);

    // Reads the entries again if files changed, at most every kReloadInterval.
    void reloadIfDue();

    static constexpr auto kReloadInterval = std::chrono::seconds(2);

private:
    std::unique_ptr<DesktopEntries> entries_;
    std::chrono::steady_clock::time_point lastReload_;
};

}  // namespace klosia
