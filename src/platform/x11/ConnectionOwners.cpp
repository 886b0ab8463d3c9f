#include "platform/x11/ConnectionOwners.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>

#include "log/Vezizur.h"
#include "platform/linux/ProcessInfo.h"

namespace klosia {

namespace {

// The sockets X servers listen on, as a path or an abstract address.
bool isDisplaySocket(const std::string& name) {
    static const QRegularExpression pattern(QStringLiteral("^@?/tmp/\\.X11-unix/X[0-9]+$"));
    return pattern.match(QString::fromStdString(name)).hasMatch();
}

void reportUnavailable(const std::string& why) {
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true)) {
        logger.log("cannot tell which processes hold connections to the X server (" + why +
                       "): their windows are listed without a process, and never signalled",
                   VezizurLevel::error);
    }
}

}  // namespace

ConnectionOwners::ConnectionOwners(int serverConnectionFd) {
    std::string error;
    sockets_ = UnixSockets::read(&error);
    if (!sockets_) {
        reportUnavailable(error);
        return;
    }
    const UnixSockets::Socket* own = sockets_->find(UnixSockets::inodeOf(serverConnectionFd));
    const UnixSockets::Socket* server = own != nullptr ? sockets_->find(own->peer) : nullptr;
    if (server == nullptr || server->name.empty()) {
        reportUnavailable("the display is not reached through a local socket");
        return;
    }
    // The server listens on the path and on the abstract address of the same name.
    const std::string& name = server->name;
    serverNames_ = {name, name.starts_with('@') ? name.substr(1) : "@" + name};
    for (const UnixSockets::Socket& socket : sockets_->all()) {
        if (socket.peer != 0 && !socket.listening && serverNames_.contains(socket.name)) {
            clientEnds_.insert(socket.peer);
        }
    }
    available_ = true;
}

void ConnectionOwners::addClient(pid_t pid, std::uint32_t client, const QString& windowClass) {
    if (pid <= 0) {
        return;
    }
    clients_[pid].insert(client);
    if (!windowClass.isEmpty()) {
        classes_[pid].insert(windowClass);
    }
    known_.erase(pid);
}

ConnectionEvidence ConnectionOwners::evidence(pid_t pid) {
    const auto known = known_.find(pid);
    if (known != known_.end()) {
        return known->second;
    }
    ConnectionEvidence evidence;
    evidence.clients = static_cast<int>(clients_[pid].size());
    evidence.programs = static_cast<int>(classes_[pid].size());
    if (available_ && pid > 0) {
        const std::unordered_set<std::uint32_t> held = UnixSockets::heldBy(pid);
        evidence.checked = !held.empty();
        for (const std::uint32_t inode : held) {
            if (clientEnds_.contains(inode)) {
                ++evidence.connections;
            } else if (const UnixSockets::Socket* socket = sockets_->find(inode);
                       socket != nullptr && isDisplaySocket(socket->name)) {
                evidence.servesDisplays = true;
            }
        }
        QString exe = ProcessInfo::exePath(pid);
        exe.remove(QStringLiteral(" (deleted)"));
        evidence.program = QFileInfo(exe).fileName();
    }
    known_.emplace(pid, evidence);
    return evidence;
}

bool ConnectionOwners::holdsOwnConnection(pid_t pid) {
    return klosia::holdsOwnConnection(evidence(pid));
}

}  // namespace klosia
