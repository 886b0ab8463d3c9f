#include "platform/x11/X11RunningApplication.h"

#include <csignal>
#include <string>

#include "log/Vezizur.h"
#include "platform/linux/ProcessControl.h"
#include "platform/x11/WindowFilter.h"
#include "platform/x11/X11Snapshot.h"
#include "platform/x11/XcbConnection.h"

namespace klosia {

X11RunningApplication::X11RunningApplication(std::shared_ptr<XcbConnection> connection, pid_t pid,
                                             std::uint64_t startTime)
    : X11Application(std::move(connection)), pid_(pid), startTime_(startTime) {}

std::string X11RunningApplication::describe() const {
    return "pid " + std::to_string(pid_);
}

bool X11RunningApplication::isTerminated() const {
    return !stillRunning();
}

bool X11RunningApplication::stillRunning() const {
    if (terminated_.load()) {
        return false;
    }
    if (!ProcessControl::isAlive(pid_, startTime_)) {
        terminated_.store(true);
        return false;
    }
    return true;
}

bool X11RunningApplication::terminate() {
    // A fresh look at the windows: the process may have opened or closed some since the list
    // was built. It is taken before the process is checked, so the windows the server names
    // for our pid are our process's: a pid cannot be reused while its process still runs.
    const X11Snapshot snapshot =
        connection_ ? X11Snapshot::take(*connection_, false) : X11Snapshot{};
    if (!stillRunning()) {
        logger.log(describe() + " has ended: no quit request sent", VezizurLevel::info);
        return false;
    }
    if (refusedAsDesktop(snapshot, "a quit request")) {
        return false;
    }
    const std::vector<std::size_t> targets = windowsToClose(snapshot.windows, owner());
    const std::vector<std::size_t> asked = askable(snapshot, targets);
    if (!asked.empty()) {
        const bool ok = askToClose(snapshot, asked);
        if (asked.size() < targets.size()) {
            // Closing those through the window manager would kill the client's connection, and
            // SIGTERM would end the windows that were just asked: they stay until it has
            // answered.
            logger.log(describe() + ": " + std::to_string(targets.size() - asked.size()) +
                           " window(s) without WM_DELETE_WINDOW left open",
                       VezizurLevel::info);
        }
        return ok;
    }
    // None of its main windows can be asked; a dialog of its own that could (one asking to save,
    // say) means the process is talking to the user, and SIGTERM would cut that short.
    for (const WindowRecord& window : snapshot.windows) {
        if (window.owner == owner() && window.deleteProtocol && !isNeverCounted(window.types)) {
            logger.log(describe() + " has a dialog open: no SIGTERM while it can be answered",
                       VezizurLevel::info);
            return false;
        }
    }
    // No window that can be asked: SIGTERM is the only polite request left.
    return ProcessControl::sendSignal(pid_, startTime_, SIGTERM);
}

bool X11RunningApplication::forceTerminate() {
    if (!stillRunning()) {
        logger.log(describe() + " has ended: no signal sent", VezizurLevel::info);
        return false;
    }
    if (connection_ && refusedAsDesktop(X11Snapshot::take(*connection_, false), "SIGKILL")) {
        return false;
    }
    return ProcessControl::sendSignal(pid_, startTime_, SIGKILL);
}

}  // namespace klosia
