#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "platform/x11/X11Application.h"

namespace klosia {

// An application whose windows have no local process Klosia may act on: a client on another
// host (ssh -X), or one behind a local proxy, where the process at this end of the connection
// is ssh or the proxy. It is named by its X client (resource base) and the host it names in
// WM_CLIENT_MACHINE. It is never signalled: processIdentifier() and startTime() are 0, a polite
// quit asks its windows to close, a force quit closes its connection to the X server.
class X11RemoteApplication final : public X11Application {
public:
    X11RemoteApplication(std::shared_ptr<XcbConnection> connection, std::uint32_t client,
                         QString host);

    pid_t processIdentifier() const override { return 0; }
    std::uint64_t startTime() const override { return 0; }
    // Ended once none of the windows it was last seen with exists.
    bool isTerminated() const override;

    bool terminate() override;
    // KillClient on one of its windows, as xkill does; the proxy or ssh keeps running.
    bool forceTerminate() override;

    WindowOwner owner() const override { return {0, client_}; }
    std::string describe() const override;

    // Set by the workspace: the windows it was seen with.
    void setWindows(std::vector<std::uint32_t> windows);

private:
    // Indices of the snapshot's windows that are still ours: our client and our host.
    std::vector<std::size_t> ownWindows(const X11Snapshot& snapshot) const;

    const std::uint32_t client_;
    const QString host_;

    mutable std::mutex windowsMutex_;
    std::vector<std::uint32_t> windows_;
};

}  // namespace klosia
