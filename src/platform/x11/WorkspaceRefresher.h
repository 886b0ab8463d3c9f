#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/x11/WorkspaceScan.h"

namespace klosia {

class WorkspaceScanner;

// Runs the workspace's full scans on a thread of its own, so that reading hundreds of windows,
// /proc and the desktop entries never holds up the event loop. The scanner has an X connection
// of its own. Requests are numbered; those that come while a scan runs are served together by
// the next one.
class WorkspaceRefresher {
public:
    // Called on the refresher's thread with each scan and the number of the latest request it
    // serves (every request up to that number was made before the scan began).
    using Publish = std::function<void(WorkspaceScan scan, std::uint64_t serves)>;

    WorkspaceRefresher(std::unique_ptr<WorkspaceScanner> scanner, Publish publish);
    // Waits for a scan under way, then stops; nothing is published after it returns.
    ~WorkspaceRefresher();
    WorkspaceRefresher(const WorkspaceRefresher&) = delete;
    WorkspaceRefresher& operator=(const WorkspaceRefresher&) = delete;

    // Asks for a scan; from any thread. Returns the request's number (from 1).
    std::uint64_t request();

private:
    void run();

    std::unique_ptr<WorkspaceScanner> scanner_;
    Publish publish_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::uint64_t requested_ = 0;
    std::uint64_t served_ = 0;
    bool stopping_ = false;
    std::thread thread_;  // last: it starts once the rest is ready
};

}  // namespace klosia
