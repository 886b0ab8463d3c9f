#include "platform/x11/X11RemoteApplication.h"

#include <array>
#include <cstdio>

#include "log/Vezizur.h"
#include "platform/x11/WindowFilter.h"
#include "platform/x11/X11Snapshot.h"
#include "platform/x11/XcbConnection.h"

namespace klosia {

X11RemoteApplication::X11RemoteApplication(std::shared_ptr<XcbConnection> connection,
                                           std::uint32_t client, QString host)
    : X11Application(std::move(connection)), client_(client), host_(std::move(host)) {}

std::string X11RemoteApplication::describe() const {
    std::array<char, 16> base{};
    std::snprintf(base.data(), base.size(), "0x%x", client_);
    return std::string("X client ") + base.data() + " on " +
           (host_.isEmpty() ? std::string("an unknown host") : host_.toStdString());
}

void X11RemoteApplication::setWindows(std::vector<std::uint32_t> windows) {
    const std::lock_guard lock(windowsMutex_);
    windows_ = std::move(windows);
}

bool X11RemoteApplication::isTerminated() const {
    if (terminated_.load()) {
        return true;
    }
    std::vector<std::uint32_t> windows;
    {
        const std::lock_guard lock(windowsMutex_);
        windows = windows_;
    }
    if (!connection_ || X11Snapshot::existing(*connection_, windows).empty()) {
        terminated_.store(true);
        return true;
    }
    return false;
}

std::vector<std::size_t> X11RemoteApplication::ownWindows(const X11Snapshot& snapshot) const {
    std::vector<std::size_t> result;
    for (std::size_t i = 0; i < snapshot.windows.size(); ++i) {
        const WindowRecord& window = snapshot.windows[i];
        // The host guards against a resource base that the server gave to a new client.
        if (window.owner == owner() && window.clientMachine == host_) {
            result.push_back(i);
        }
    }
    return result;
}

bool X11RemoteApplication::terminate() {
    if (terminated_.load() || !connection_) {
        return false;
    }
    const X11Snapshot snapshot = X11Snapshot::take(*connection_, false);
    if (ownWindows(snapshot).empty()) {
        terminated_.store(true);
        logger.log(describe() + " has no window left: no quit request sent", VezizurLevel::info);
        return false;
    }
    if (refusedAsDesktop(snapshot, "a quit request")) {
        return false;
    }
    const std::vector<std::size_t> asked =
        askable(snapshot, windowsToClose(snapshot.windows, owner()));
    if (asked.empty()) {
        // Closing them anyway would make the window manager cut the connection: that is the
        // force quit, not a request.
        logger.log(describe() + " has no window that can be asked to close", VezizurLevel::info);
        return false;
    }
    return askToClose(snapshot, asked);
}

bool X11RemoteApplication::forceTerminate() {
    if (terminated_.load() || !connection_) {
        return false;
    }
    const X11Snapshot snapshot = X11Snapshot::take(*connection_, false);
    const std::vector<std::size_t> windows = ownWindows(snapshot);
    if (windows.empty()) {
        terminated_.store(true);
        logger.log(describe() + " has no window left: nothing disconnected", VezizurLevel::info);
        return false;
    }
    if (refusedAsDesktop(snapshot, "a disconnection")) {
        return false;
    }
    const bool ok = connection_->killClient(snapshot.windows[windows.front()].id);
    if (ok) {
        logger.log("disconnected " + describe() + " from the X server", VezizurLevel::info);
    }
    return ok;
}

}  // namespace klosia
