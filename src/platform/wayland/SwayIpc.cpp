#include "platform/wayland/SwayIpc.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "platform/linux/Descriptor.h"

namespace klosia {
namespace {

constexpr int kTimeoutMs = 2000;
// A tree of thousands of views stays far below this; more is not sway.
constexpr std::uint32_t kMaxReply = 64U * 1024U * 1024U;
const QByteArray kMagic = QByteArrayLiteral("i3-ipc");

bool waitFor(int fd, short events) {
    pollfd entry{fd, events, 0};
    int ready = 0;
    do {
        ready = ::poll(&entry, 1, kTimeoutMs);
    } while (ready < 0 && errno == EINTR);
    return ready == 1 && (entry.revents & events) != 0;
}

bool writeAll(int fd, const QByteArray& data) {
    qsizetype sent = 0;
    while (sent < data.size()) {
        if (!waitFor(fd, POLLOUT)) {
            return false;
        }
        const ssize_t n = ::send(fd, data.constData() + sent,
                                 static_cast<std::size_t>(data.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += n;
    }
    return true;
}

bool readAll(int fd, char* into, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        if (!waitFor(fd, POLLIN)) {
            return false;
        }
        const ssize_t n = ::recv(fd, into + got, size - got, 0);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    return true;
}

QByteArray header(std::uint32_t length, std::uint32_t type) {
    QByteArray out = kMagic;
    out.append(reinterpret_cast<const char*>(&length), sizeof length);
    out.append(reinterpret_cast<const char*>(&type), sizeof type);
    return out;
}

}  // namespace

std::optional<QByteArray> SwayIpc::request(const QString& path, std::uint32_t type,
                                           const QByteArray& payload, QString* error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = path.toLocal8Bit();
    if (name.isEmpty() || static_cast<std::size_t>(name.size()) >= sizeof address.sun_path) {
        *error = QStringLiteral("no usable sway socket path (SWAYSOCK='%1')").arg(path);
        return std::nullopt;
    }
    std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
    const Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (socket.get() < 0) {
        *error =
            QStringLiteral("cannot make a socket: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return std::nullopt;
    }
    int connected =
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    if (connected < 0 && errno == EINPROGRESS && waitFor(socket.get(), POLLOUT)) {
        int failure = 0;
        socklen_t length = sizeof failure;
        ::getsockopt(socket.get(), SOL_SOCKET, SO_ERROR, &failure, &length);
        connected = failure == 0 ? 0 : -1;
    }
    if (connected < 0) {
        *error = QStringLiteral("sway does not answer on %1").arg(path);
        return std::nullopt;
    }
    std::array<char, 14> reply{};
    if (!writeAll(socket.get(),
                  header(static_cast<std::uint32_t>(payload.size()), type) + payload) ||
        !readAll(socket.get(), reply.data(), reply.size())) {
        *error = QStringLiteral("sway did not answer on %1").arg(path);
        return std::nullopt;
    }
    std::uint32_t length = 0;
    std::uint32_t replyType = 0;
    std::memcpy(&length, reply.data() + 6, sizeof length);
    std::memcpy(&replyType, reply.data() + 10, sizeof replyType);
    if (QByteArray(reply.data(), 6) != kMagic || replyType != type || length > kMaxReply) {
        *error = QStringLiteral("%1 does not speak sway's IPC").arg(path);
        return std::nullopt;
    }
    QByteArray json(static_cast<qsizetype>(length), Qt::Uninitialized);
    if (!readAll(socket.get(), json.data(), length)) {
        *error = QStringLiteral("sway's reply came cut short on %1").arg(path);
        return std::nullopt;
    }
    return json;
}

bool SwayIpc::runCommand(const QString& path, const QByteArray& command, QString* error) {
    const std::optional<QByteArray> reply = request(path, kRunCommand, command, error);
    if (!reply) {
        return false;
    }
    // One result per command, each with "success" and, when it failed, "error".
    for (const QJsonValue result : QJsonDocument::fromJson(*reply).array()) {
        if (!result.toObject().value(QStringLiteral("success")).toBool()) {
            *error = QStringLiteral("sway refused '%1': %2")
                         .arg(QString::fromUtf8(command),
                              result.toObject().value(QStringLiteral("error")).toString());
            return false;
        }
    }
    return true;
}

}  // namespace klosia
