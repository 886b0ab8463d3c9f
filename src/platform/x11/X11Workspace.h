#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/Workspace.h"
#include "platform/x11/ApplicationKey.h"

class QObject;
class QSocketNotifier;
class QTimer;

namespace klosia {

class IdentityFinder;
class ProcessWatcher;
class X11Application;
class XcbConnection;
struct X11Snapshot;

// The running applications of an X desktop, with or without an EWMH window manager. Lists, on
// every call, what the window manager's client list (or, without one, the mapped top-level
// windows) shows now; one handle per process, or per X client without a local process, for as
// long as it runs. Use it from the main thread; with a Qt event loop running it also reports
// launches and terminations (without one, as in a command-line listing, it only answers calls).
class X11Workspace final : public Workspace {
public:
    explicit X11Workspace(std::shared_ptr<XcbConnection> connection);
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    std::vector<RunningApplicationPtr> runningApplications() override;
    RunningApplicationPtr frontmostApplication() override;

private:
    using Key = ApplicationKey;
    using HandlePtr = std::shared_ptr<X11Application>;
    using Processes = std::unordered_map<pid_t, ProcStat>;

    // One look at the desktop, in steps: the applications of the windows, the windowless
    // helpers of those (the rule is explained where findBackgroundHelpers decides it), then what
    // is no longer there.
    void update();
    void listWindowOwners(const X11Snapshot& snapshot, const Processes& processes,
                          std::set<Key>* present, std::unordered_map<pid_t, HandlePtr>* byPid);
    void listHelpers(const Processes& processes, const std::unordered_map<pid_t, HandlePtr>& byPid,
                     std::set<Key>* present);
    void retireMissing(const std::set<Key>& present);

    HandlePtr obtain(const Key& key, const std::function<void(X11Application&)>& identify);
    void end(const Key& key);

    void watchDesktop();
    void readEvents(bool queuedOnly);
    void scheduleRefresh();
    void scheduleFlush();
    void flush();

    std::shared_ptr<XcbConnection> connection_;
    std::unique_ptr<IdentityFinder> identities_;

    std::map<Key, HandlePtr> handles_;  // every application seen and still running
    std::vector<Key> order_;            // first seen, first listed
    std::vector<Key> listed_;           // the latest listing, in order
    std::optional<Key> active_;
    bool brokenReported_ = false;

    std::vector<RunningApplicationPtr> pendingLaunches_;
    std::vector<RunningApplicationPtr> pendingTerminations_;
    bool notify_ = false;  // an event loop can deliver notifications

    // Qt objects live under one parent that goes first on destruction.
    std::unique_ptr<QObject> context_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    QTimer* flushTimer_ = nullptr;
    ProcessWatcher* watcher_ = nullptr;
};

// A workspace on the display that DISPLAY names; nullptr and a message in *error when no X
// display can be opened.
std::unique_ptr<Workspace> createX11Workspace(QString* error);

}  // namespace klosia
