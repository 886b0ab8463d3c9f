#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace klosia {

// The Unix domain sockets of our network namespace, as the kernel's socket diagnostics
// (sock_diag, NETLINK_SOCK_DIAG) list them: each with its address and the socket at the other
// end of its connection. A socket that a listening socket accepted carries the listener's
// address, so the server's end of every connection to a display names the display's socket.
class UnixSockets {
public:
    struct Socket {
        std::uint32_t inode = 0;
        std::uint32_t peer = 0;  // the other end's inode; 0 when not connected
        // The address: a path, or "@" and the name for an abstract address; empty when unbound.
        std::string name;
        bool listening = false;
    };

    // One dump of every socket; nullopt, with the reason in *error, when the kernel does not
    // answer (no unix_diag support, or the request was refused).
    static std::optional<UnixSockets> read(std::string* error);
    // For tests: a table made of these sockets.
    explicit UnixSockets(std::vector<Socket> sockets);

    const Socket* find(std::uint32_t inode) const;
    const std::vector<Socket>& all() const { return sockets_; }

    // The inodes of the sockets the process holds open (its /proc/PID/fd links "socket:[N]");
    // empty when they cannot be read (gone, or not ours to look at).
    static std::unordered_set<std::uint32_t> heldBy(pid_t pid);
    // The inode of an open socket descriptor of ours; 0 when it is not a socket.
    static std::uint32_t inodeOf(int fd);

private:
    std::vector<Socket> sockets_;
    std::unordered_map<std::uint32_t, std::size_t> index_;
};

}  // namespace klosia
