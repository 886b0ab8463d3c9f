#include "platform/linux/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include "log/Vezizur.h"
#include "platform/linux/XdgPaths.h"

namespace klosia {

namespace {

const QString kObjectPath = QStringLiteral("/org/klosia/Klosia");
const QString kInterface = QStringLiteral("org.klosia.Klosia");
// What a second start may write on the socket: one method name a line.
const QByteArray kMenuRequest = QByteArrayLiteral("PerformMenu\n");
const QByteArray kPreferencesRequest = QByteArrayLiteral("OpenPreferences\n");
// "Command NAME ARGUMENT\n", answered with "ok\n" or "refused WHY\n".
const QByteArray kCommandPrefix = QByteArrayLiteral("Command ");
constexpr qint64 kLongestLine = 4096;

QString methodName(SingleInstance::Request request) {
    return request == SingleInstance::Request::openPreferences ? QStringLiteral("OpenPreferences")
                                                               : QStringLiteral("PerformMenu");
}
constexpr int kTimeoutMs = 5000;

}  // namespace

SingleInstance::SingleInstance(QString name, bool useSessionBus, QObject* parent)
    : QObject(parent), name_(std::move(name)), useSessionBus_(useSessionBus) {}

bool SingleInstance::busAvailable() const {
    return useSessionBus_ && QDBusConnection::sessionBus().isConnected();
}

SingleInstance::~SingleInstance() {
    if (onBus_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(kObjectPath);
        bus.unregisterService(name_);
    }
}

QString SingleInstance::socketPath() const {
    const QString directory = XdgPaths::runtimeDir();
    return directory.isEmpty() ? QString()
                               : directory + QLatin1Char('/') + name_ + QStringLiteral(".socket");
}

SingleInstance::Role SingleInstance::acquire() {
    if (busAvailable()) {
        return acquireBusName() ? Role::primary : Role::secondary;
    }
    logger.log("no session bus: guarding the single instance with a local socket",
               VezizurLevel::info);
    return acquireSocket();
}

bool SingleInstance::acquireBusName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    // The object first, so a second start that sees the name can call it at once.
    if (!bus.registerObject(kObjectPath, this, QDBusConnection::ExportScriptableSlots)) {
        logger.log("cannot export the instance object on the session bus", VezizurLevel::error);
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(name_, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        onBus_ = true;
        return true;
    }
    bus.unregisterObject(kObjectPath);
    if (!reply.isValid()) {
        // The bus refused for another reason than an owner (a policy, say): do not stay silent
        // and do not refuse to run.
        logger.log("cannot own " + name_ + " on the session bus: " + reply.error().message(),
                   VezizurLevel::error);
        return true;
    }
    return false;
}

SingleInstance::Role SingleInstance::acquireSocket() {
    const QString path = socketPath();
    if (path.isEmpty()) {
        logger.log("no private runtime directory: cannot guard the single instance",
                   VezizurLevel::error);
        return Role::primary;
    }
    server_ = new QLocalServer(this);
    // No socket options: with them Qt renames a fresh socket over the path and would silently
    // take the place of a running instance. The directory is private to the user anyway.
    if (server_->listen(path)) {
        connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptSocketClient);
        return Role::primary;
    }
    // Someone answers there: a running instance. Nobody: a socket left by a crash.
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(kTimeoutMs)) {
        probe.abort();
        delete server_;
        server_ = nullptr;
        return Role::secondary;
    }
    QLocalServer::removeServer(path);
    if (server_->listen(path)) {
        connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptSocketClient);
        return Role::primary;
    }
    logger.log("cannot listen on " + path + ": " + server_->errorString(), VezizurLevel::error);
    return Role::primary;
}

void SingleInstance::acceptSocketClient() {
    while (QLocalSocket* client = server_->nextPendingConnection()) {
        // A client may have written and gone before we got here: read what is buffered now, on
        // every arrival, and once more when it leaves.
        const auto readRequests = [this, client] {
            while (client->canReadLine()) {
                // Only a whole request counts; anything else on the socket is ignored.
                const QByteArray line = client->readLine(kLongestLine);
                if (line == kMenuRequest) {
                    Q_EMIT activationRequested();
                } else if (line == kPreferencesRequest) {
                    Q_EMIT preferencesRequested();
                } else if (line.startsWith(kCommandPrefix) && line.endsWith('\n')) {
                    const QString request = QString::fromUtf8(
                        line.mid(kCommandPrefix.size(), line.size() - kCommandPrefix.size() - 1));
                    const QString why = Command(request.section(QLatin1Char(' '), 0, 0),
                                                request.section(QLatin1Char(' '), 1));
                    client->write(why.isEmpty() ? QByteArrayLiteral("ok\n")
                                                : "refused " + why.toUtf8() + '\n');
                }
            }
        };
        connect(client, &QLocalSocket::readyRead, this, readRequests);
        connect(client, &QLocalSocket::disconnected, this, [client, readRequests] {
            readRequests();
            client->deleteLater();
        });
        readRequests();
    }
}

bool SingleInstance::activatePrimary(Request request) {
    if (busAvailable()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        QDBusMessage call =
            QDBusMessage::createMethodCall(name_, kObjectPath, kInterface, methodName(request));
        const QDBusMessage answer = bus.call(call, QDBus::Block, kTimeoutMs);
        if (answer.type() == QDBusMessage::ReplyMessage) {
            return true;
        }
        logger.log("the running instance did not answer: " + answer.errorMessage(),
                   VezizurLevel::error);
        return false;
    }
    if (socketPath().isEmpty()) {
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(kTimeoutMs)) {
        return false;
    }
    socket.write(request == Request::openPreferences ? kPreferencesRequest : kMenuRequest);
    const bool written = socket.waitForBytesWritten(kTimeoutMs);
    socket.disconnectFromServer();
    return written;
}

SingleInstance::Delivery SingleInstance::sendCommand(const QString& name, const QString& argument,
                                                     QString* message) {
    if (busAvailable()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QDBusReply<bool> owned = bus.interface()->isServiceRegistered(name_);
        if (!owned.isValid() || !owned.value()) {
            *message = QStringLiteral("nobody owns %1 on the session bus").arg(name_);
            return Delivery::noInstance;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(name_, kObjectPath, kInterface,
                                                           QStringLiteral("Command"));
        call << name << argument;
        // Should it have just gone, the bus must not start one in its place.
        call.setAutoStartService(false);
        const QDBusMessage answer = bus.call(call, QDBus::Block, kTimeoutMs);
        if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().size() != 1) {
            *message =
                QStringLiteral("the running instance did not answer: ") + answer.errorMessage();
            return Delivery::noInstance;
        }
        *message = answer.arguments().first().toString();
        return message->isEmpty() ? Delivery::accepted : Delivery::refused;
    }
    const QString path = socketPath();
    QLocalSocket socket;
    if (!path.isEmpty()) {
        socket.connectToServer(path);
    }
    if (path.isEmpty() || !socket.waitForConnected(kTimeoutMs)) {
        *message = path.isEmpty() ? QStringLiteral("no session bus and no runtime directory")
                                  : QStringLiteral("nobody answers on ") + path;
        return Delivery::noInstance;
    }
    QByteArray request = kCommandPrefix + name.toUtf8();
    if (!argument.isEmpty()) {
        request += ' ' + argument.toUtf8();
    }
    socket.write(request.replace('\n', ' ') + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(kTimeoutMs)) {
    }
    const QByteArray line = socket.readLine(kLongestLine).trimmed();
    if (line == "ok") {
        return Delivery::accepted;
    }
    if (line.startsWith("refused ")) {
        *message = QString::fromUtf8(line.mid(8));
        return Delivery::refused;
    }
    *message = QStringLiteral("the running instance did not answer");
    return Delivery::noInstance;
}

QString SingleInstance::Command(const QString& name, const QString& argument) {
    if (!commandHandler_) {
        return QStringLiteral("not ready for commands yet");
    }
    return commandHandler_(name, argument);
}

void SingleInstance::PerformMenu() {
    Q_EMIT activationRequested();
}

void SingleInstance::OpenPreferences() {
    Q_EMIT preferencesRequested();
}

}  // namespace klosia
