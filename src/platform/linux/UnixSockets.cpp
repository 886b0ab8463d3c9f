#include "platform/linux/UnixSockets.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <linux/unix_diag.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/linux/Descriptor.h"

namespace klosia {

namespace {

struct Request {
    nlmsghdr header;
    unix_diag_req body;
};

// Netlink messages and their attributes are aligned to 4 bytes. (The kernel's NLMSG_ and RTA_
// macros do the same arithmetic with C casts.)
constexpr std::size_t align4(std::size_t length) {
    return (length + 3) & ~std::size_t{3};
}

// One unix_diag_msg with its attributes, `length` bytes at `data`; false when it is cut short.
bool parseMessage(const char* data, std::size_t length, UnixSockets::Socket* socket) {
    unix_diag_msg message{};
    if (length < sizeof message) {
        return false;
    }
    std::memcpy(&message, data, sizeof message);
    socket->inode = message.udiag_ino;
    socket->listening = message.udiag_state == 10;  // TCP_LISTEN, as the kernel reports it
    std::size_t offset = align4(sizeof message);
    while (offset + sizeof(rtattr) <= length) {
        rtattr attribute{};
        std::memcpy(&attribute, data + offset, sizeof attribute);
        if (attribute.rta_len < sizeof attribute || offset + attribute.rta_len > length) {
            break;
        }
        const char* payload = data + offset + align4(sizeof attribute);
        const std::size_t size = attribute.rta_len - align4(sizeof attribute);
        if (attribute.rta_type == UNIX_DIAG_NAME && size > 0) {
            // An abstract address starts with a NUL byte, shown as "@" as ss(8) does.
            socket->name = payload[0] == '\0' ? "@" + std::string(payload + 1, size - 1)
                                              : std::string(payload, strnlen(payload, size));
        } else if (attribute.rta_type == UNIX_DIAG_PEER && size >= sizeof(std::uint32_t)) {
            std::memcpy(&socket->peer, payload, sizeof(std::uint32_t));
        }
        offset += align4(attribute.rta_len);
    }
    return true;
}

}  // namespace

UnixSockets::UnixSockets(std::vector<Socket> sockets) : sockets_(std::move(sockets)) {
    index_.reserve(sockets_.size());
    for (std::size_t i = 0; i < sockets_.size(); ++i) {
        index_.emplace(sockets_[i].inode, i);
    }
}

std::optional<UnixSockets> UnixSockets::read(std::string* error) {
    const Descriptor netlink(::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
    if (netlink.get() < 0) {
        *error = std::string("cannot open a sock_diag socket: ") + std::strerror(errno);
        return std::nullopt;
    }
    Request request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.body.sdiag_family = AF_UNIX;
    request.body.udiag_states = ~0U;
    request.body.udiag_show = UDIAG_SHOW_NAME | UDIAG_SHOW_PEER;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(netlink.get(), &request, sizeof request, 0, reinterpret_cast<sockaddr*>(&kernel),
                 sizeof kernel) < 0) {
        *error = std::string("sock_diag refused the request: ") + std::strerror(errno);
        return std::nullopt;
    }
    std::vector<Socket> sockets;
    std::array<char, 32768> buffer{};
    for (;;) {
        const ssize_t received = ::recv(netlink.get(), buffer.data(), buffer.size(), 0);
        if (received < 0) {
            if (errno == EINTR) {
                continue;
            }
            *error = std::string("cannot read sock_diag's answer: ") + std::strerror(errno);
            return std::nullopt;
        }
        if (received == 0) {
            *error = "sock_diag ended its answer early";
            return std::nullopt;
        }
        std::size_t offset = 0;
        const auto size = static_cast<std::size_t>(received);
        while (offset + sizeof(nlmsghdr) <= size) {
            nlmsghdr header{};
            std::memcpy(&header, buffer.data() + offset, sizeof header);
            if (header.nlmsg_len < sizeof header || offset + header.nlmsg_len > size) {
                break;
            }
            const char* body = buffer.data() + offset + align4(sizeof header);
            const std::size_t bodySize = header.nlmsg_len - align4(sizeof header);
            if (header.nlmsg_type == NLMSG_DONE) {
                return UnixSockets(std::move(sockets));
            }
            if (header.nlmsg_type == NLMSG_ERROR) {
                nlmsgerr failure{};
                std::memcpy(&failure, body, std::min(bodySize, sizeof failure));
                *error = std::string("sock_diag answered: ") + std::strerror(-failure.error);
                return std::nullopt;
            }
            Socket socket;
            if (header.nlmsg_type == SOCK_DIAG_BY_FAMILY && parseMessage(body, bodySize, &socket)) {
                sockets.push_back(std::move(socket));
            }
            offset += align4(header.nlmsg_len);
        }
    }
}

const UnixSockets::Socket* UnixSockets::find(std::uint32_t inode) const {
    const auto found = index_.find(inode);
    return found != index_.end() ? &sockets_[found->second] : nullptr;
}

std::unordered_set<std::uint32_t> UnixSockets::heldBy(pid_t pid) {
    std::unordered_set<std::uint32_t> inodes;
    const std::string directory = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = ::opendir(directory.c_str());
    if (fds == nullptr) {
        return inodes;
    }
    const int dirFd = ::dirfd(fds);
    constexpr std::string_view prefix = "socket:[";
    std::array<char, 64> target{};
    while (const dirent* entry = ::readdir(fds)) {
        if (entry->d_name[0] == '.') {
            continue;
        }
        const ssize_t length = ::readlinkat(dirFd, entry->d_name, target.data(), target.size());
        if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) {
            continue;
        }
        const std::string_view link(target.data(), static_cast<std::size_t>(length));
        if (!link.starts_with(prefix) || !link.ends_with(']')) {
            continue;
        }
        std::uint32_t inode = 0;
        bool digits = link.size() > prefix.size() + 1;
        for (const char c : link.substr(prefix.size(), link.size() - prefix.size() - 1)) {
            digits = digits && c >= '0' && c <= '9';
            inode = inode * 10 + static_cast<std::uint32_t>(c - '0');
        }
        if (digits) {
            inodes.insert(inode);
        }
    }
    ::closedir(fds);
    return inodes;
}

std::uint32_t UnixSockets::inodeOf(int fd) {
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISSOCK(info.st_mode)) {
        return 0;
    }
    return static_cast<std::uint32_t>(info.st_ino);
}

}  // namespace klosia
