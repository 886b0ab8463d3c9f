#pragma once

#include <sys/types.h>

#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>

namespace klosia {

class DesktopEntries;
struct WindowRecord;

// What IdentityFinder found for one application, and how, so that it knows when to look again:
// when the window's identifying properties change (WM_CLASS set late), or, for an identity found
// without a desktop entry, when the entries were read anew.
struct FoundIdentity {
    QString bundleIdentifier;
    QString name;
    QString iconName;

    QString hints;
    bool fromDesktopEntry = false;
    std::uint64_t entriesGeneration = 0;
};

// Gives the workspace's applications their identity (ApplicationIdentity) from the installed
// desktop entries, and keeps it up to date: an identity is looked for again when the window's
// identifying properties change (a client that sets WM_CLASS only after mapping its window), and
// one found without an entry when the entries were read anew (an application installed while it
// runs). Used by one thread at a time: the one that scans the desktop.
class IdentityFinder {
public:
    IdentityFinder();
    ~IdentityFinder();
    IdentityFinder(const IdentityFinder&) = delete;
    IdentityFinder& operator=(const IdentityFinder&) = delete;

    // Identifies the application of `window` (null for a process known by its tray icon only)
    // and process `pid` (0 for an X client without one) into `found`. With `again`, only when
    // something it depends on changed since `found` was made.
    void identify(FoundIdentity& found, const WindowRecord* window, pid_t pid, bool again);

    // Reads the entries again if files changed, at most every kReloadInterval.
    void reloadIfDue();

    static constexpr auto kReloadInterval = std::chrono::seconds(2);

private:
    std::unique_ptr<DesktopEntries> entries_;
    std::chrono::steady_clock::time_point lastReload_;
};

}  // namespace klosia
