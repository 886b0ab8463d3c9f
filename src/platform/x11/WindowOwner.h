#pragma once

#include <sys/types.h>

#include <QString>

#include <compare>
#include <cstdint>
#include <functional>

namespace klosia {

struct WindowRecord;

// Who a window belongs to: a local process, or, when no local process can be trusted to be the
// application, only the X client that made it (named by its resource base). A client without a
// process is a remote application (ssh -X) or one behind a proxy: the process at the other end
// of its connection is then ssh or the proxy, never a process to signal.
struct WindowOwner {
    pid_t pid = 0;             // > 0: the local process
    std::uint32_t client = 0;  // the client's resource base, when pid is 0

    bool isProcess() const { return pid > 0; }
    bool isClient() const { return pid <= 0 && client != 0; }
    bool isKnown() const { return isProcess() || isClient(); }

    friend auto operator<=>(const WindowOwner&, const WindowOwner&) = default;
};

// Whether WM_CLIENT_MACHINE names this host (`hostName`, or "localhost"), ignoring case.
bool isThisHost(const QString& machine, const QString& hostName);

// Whether `pid` holds the client's own connection to the X server (ConnectionOwners checks it
// through the sockets).
using ConnectionProof = std::function<bool(pid_t pid)>;

// The rule that decides who owns a window:
//   - A window whose WM_CLIENT_MACHINE names another host belongs to its X client: whatever
//     process holds the connection here is a forwarder.
//   - With X-Resource 1.2 (`serverKnowsPids`), the server's pid (the local process at the other
//     end of the connection) owns the window, unless the server knows none (a client over TCP)
//     or the client's own _NET_WM_PID names another process (a local proxy between the two):
//     then the client owns it.
//   - Without it, _NET_WM_PID is the fallback, and only when WM_CLIENT_MACHINE names this host:
//     a missing WM_CLIENT_MACHINE is no proof that a client is local.
//   - Either way the process must hold the client's connection (`holdsConnection`): the server
//     tells who connected, not who holds the connection now, and that pid may since have been
//     reused, or be a forwarder's. A process that fails leaves the window to its client.
WindowOwner decideOwner(const WindowRecord& window, const QString& hostName, bool serverKnowsPids,
                        const ConnectionProof& holdsConnection);

// The pid decideOwner() would consider for the window, before the connection is checked; 0 when
// it considers none.
pid_t candidateOwnerPid(const WindowRecord& window, const QString& hostName, bool serverKnowsPids);

}  // namespace klosia
