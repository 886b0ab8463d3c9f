#pragma once

#include <sys/types.h>

#include <QString>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>

#include "platform/linux/UnixSockets.h"
#include "platform/x11/ConnectionEvidence.h"

namespace klosia {

// Checks, for one look at the desktop, whether the processes the X server names hold their
// clients' connections (holdsOwnConnection). The server's end of every client's connection
// carries the address of the display's socket, and its peer is the client's end, which a process
// holds among its descriptors: so the check needs no help from the server, and a pid reused since
// its client connected fails it. Reads the socket table once, and each named process's
// descriptors once.
class ConnectionOwners {
public:
    // `serverConnectionFd`: the descriptor of our own connection to the server, whose other end
    // tells the display's address.
    explicit ConnectionOwners(int serverConnectionFd);

    // A listed client (resource base), whose windows are of `windowClass`, that the server says
    // `pid` connected.
    void addClient(pid_t pid, std::uint32_t client, const QString& windowClass);

    ConnectionEvidence evidence(pid_t pid);
    bool holdsOwnConnection(pid_t pid);

    // Whether the sockets could be read at all.
    bool available() const { return available_; }

private:
    bool available_ = false;
    std::optional<UnixSockets> sockets_;
    std::set<std::string> serverNames_;             // the display's address, path and abstract
    std::unordered_set<std::uint32_t> clientEnds_;  // the clients' ends of their connections
    std::map<pid_t, std::set<std::uint32_t>> clients_;
    std::map<pid_t, std::set<QString>> classes_;
    std::map<pid_t, ConnectionEvidence> known_;
};

}  // namespace klosia
