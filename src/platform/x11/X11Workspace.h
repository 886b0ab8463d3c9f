#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "platform/Workspace.h"

class QObject;
class QSocketNotifier;
class QTimer;

namespace klosia {

class DesktopEntries;
class ProcessWatcher;
class X11RunningApplication;
class XcbConnection;
struct ApplicationIdentity;
struct WindowRecord;

// The running applications of an X desktop with an EWMH window manager. Lists, on every call,
// what the window manager's client list shows now; one handle per process for as long as it
// runs. Use it from the main thread; with a Qt event loop running it also reports launches and
// terminations (without one, as in a command-line listing, it only answers calls).
class X11Workspace final : public Workspace {
public:
    explicit X11Workspace(std::shared_ptr<XcbConnection> connection);
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    std::vector<RunningApplicationPtr> runningApplications() override;
    RunningApplicationPtr frontmostApplication() override;

private:
    // (pid, start time): exactly one process for the whole uptime.
    using Key = std::pair<pid_t, std::uint64_t>;
    using HandlePtr = std::shared_ptr<X11RunningApplication>;

    void update();
    HandlePtr obtain(const Key& key, const std::function<void(X11RunningApplication&)>& identify);
    ApplicationIdentity identify(const WindowRecord* window, pid_t pid);
    void end(const Key& key);

    void watchDesktop();
    void readEvents(bool queuedOnly);
    void scheduleRefresh();
    void scheduleFlush();
    void flush();

    std::shared_ptr<XcbConnection> connection_;
    std::unique_ptr<DesktopEntries> entries_;
    std::chrono::steady_clock::time_point lastReload_;

    std::map<Key, HandlePtr> handles_;  // every process seen and still running
    std::vector<Key> order_;            // first seen, first listed
    std::vector<Key> listed_;           // the latest listing, in order
    Key active_{0, 0};
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
