#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <vector>

#include "platform/Workspace.h"
#include "platform/x11/ApplicationKey.h"
#include "platform/x11/EndedProcesses.h"

class QObject;
class QTimer;

namespace klosia {

class X11Pinger;

class ProcessWatcher;
class WorkspaceRefresher;
class WorkspaceScanner;
class X11Application;
class X11DesktopEvents;
class XcbConnection;
struct ScannedApplication;
struct WorkspaceScan;

// The running applications of an X desktop, with or without an EWMH window manager: what the
// window manager's client list (or, without one, the mapped top-level windows) shows, one handle
// per process, or per X client without a local process, for as long as it runs. Use it from the
// main thread.
//
// Following the desktop (with an event loop), it keeps a cached list that the calls answer from
// without any X or /proc I/O: full scans run on a thread of their own with their own X
// connection (WorkspaceRefresher) when the client list changes, a process ends, or a call finds
// the list older than kStaleAfter (for what no event tells: helpers, tray icons, late WM_CLASS,
// new desktop entries); a focus change is one property read. Launches are reported once the
// list holds the new application, terminations once it no longer does. On call (no event loop,
// as in a command-line listing), every call reads the desktop itself.
class X11Workspace final : public Workspace {
public:
    enum class Updates {
        automatic,      // followDesktop when a QCoreApplication exists, else onCall
        followDesktop,  // needs a QCoreApplication whose event loop runs
        onCall,
    };

    explicit X11Workspace(std::shared_ptr<XcbConnection> connection,
                          Updates updates = Updates::automatic);
    ~X11Workspace() override;
    X11Workspace(const X11Workspace&) = delete;
    X11Workspace& operator=(const X11Workspace&) = delete;

    std::vector<RunningApplicationPtr> runningApplications() override;
    std::vector<RunningApplicationPtr> knownApplications() override;
    RunningApplicationPtr frontmostApplication() override;
    std::vector<ListedWindow> listedWindows() const override { return listedWindows_; }
    // Pings the listed windows that answer pings, on a connection and thread of their own.
    void setWatchingResponses(bool on) override;
    void awaitResponses() override;

    // For tests and benchmarks: full scans applied so far, _NET_ACTIVE_WINDOW reads, and
    // whether a scan is due or under way.
    std::uint64_t scansApplied() const { return scansApplied_; }
    std::uint64_t activeWindowReads() const;
    bool isRefreshing() const;

    static constexpr auto kStaleAfter = std::chrono::milliseconds(500);

private:
    using Key = ApplicationKey;
    using HandlePtr = std::shared_ptr<X11Application>;

    bool followDesktop();
    std::vector<RunningApplicationPtr> listedHandles() const;
    void scanNow();
    void apply(const WorkspaceScan& scan, std::uint64_t serves);
    void retireMissing(const std::set<Key>& present);
    HandlePtr obtain(const ScannedApplication& app);
    void end(const Key& key);
    void setActiveWindow(std::uint32_t window);
    void lost();

    void requestRefresh();
    void scheduleRefresh();
    void scheduleFlush();
    void flush();

    std::shared_ptr<XcbConnection> connection_;  // the handles' requests; scans when on call
    std::unique_ptr<WorkspaceScanner> scanner_;  // on call; following, the refresher's
    bool following_ = false;

    std::map<Key, HandlePtr> handles_;  // every application seen and still running
    std::set<Key> unwatched_;           // processes only the scans follow (helpers)
    std::vector<Key> order_;            // first seen, first listed
    std::vector<Key> listed_;           // the latest listing, in order
    std::vector<ListedWindow> listedWindows_;
    std::unordered_map<std::uint32_t, Key> windowOwners_;
    std::map<Key, std::vector<std::uint32_t>> pingWindows_;  // of the latest scan
    std::shared_ptr<X11Pinger> pinger_;                      // made when first needed
    void sharePings();
    std::uint32_t activeWindow_ = 0;
    bool managed_ = false;
    bool activeFromFocus_ = false;
    std::optional<Key> active_;
    bool brokenReported_ = false;

    EndedProcesses ended_;
    std::uint64_t requested_ = 0;
    std::uint64_t served_ = 0;
    std::uint64_t scansApplied_ = 0;
    std::chrono::steady_clock::time_point lastRequest_;

    std::vector<RunningApplicationPtr> pendingLaunches_;
    std::vector<RunningApplicationPtr> pendingTerminations_;

    // Qt objects live under one parent; it, the events and the refresher go first on
    // destruction, as their callbacks point back at us.
    std::unique_ptr<QObject> context_;
    QTimer* refreshTimer_ = nullptr;
    QTimer* flushTimer_ = nullptr;
    ProcessWatcher* watcher_ = nullptr;
    std::unique_ptr<X11DesktopEvents> events_;
    std::unique_ptr<WorkspaceRefresher> refresher_;
};

// A workspace on the display that DISPLAY names; nullptr and a message in *error when no X
// display can be opened.
std::unique_ptr<Workspace> createX11Workspace(
    QString* error, X11Workspace::Updates updates = X11Workspace::Updates::automatic);

}  // namespace klosia
