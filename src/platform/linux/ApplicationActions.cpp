#include "platform/linux/ApplicationActions.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <algorithm>

namespace klosia {

namespace {

const QString kBus = QStringLiteral("org.freedesktop.DBus");
const QString kActions = QStringLiteral("org.gtk.Actions");
const QString kApplication = QStringLiteral("org.freedesktop.Application");
const QString kQuit = QStringLiteral("quit");
constexpr qsizetype kMaxBusName = 255;

bool isNamePart(const QString& part) {
    if (part.isEmpty() || part.front().isDigit()) {
        return false;
    }
    for (const QChar c : part) {
        const bool ascii = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                           (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                           (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
        if (!ascii && c != QLatin1Char('_') && c != QLatin1Char('-')) {
            return false;
        }
    }
    return true;
}

QDBusMessage callBus(const QDBusConnection& bus, const QString& member, const QString& name) {
    QDBusMessage message =
        QDBusMessage::createMethodCall(kBus, QStringLiteral("/org/freedesktop/DBus"), kBus, member);
    message << name;
    return bus.call(message, QDBus::Block, ApplicationActions::kTimeoutMs);
}

QDBusMessage callActions(const QDBusConnection& bus, const ApplicationActions::Quit& quit,
                         const QString& member, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(quit.owner, quit.path, kActions, member);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    return bus.call(message, QDBus::Block, ApplicationActions::kTimeoutMs);
}

bool isReply(const QDBusMessage& reply, const char* signature) {
    return reply.type() == QDBusMessage::ReplyMessage &&
           reply.signature() == QLatin1String(signature);
}

// Whether `quit` holds a quit action. Describe answers for one action; List, which every
// implementation of org.gtk.Actions has, stands in where it fails. Neither answer is looked into
// further: what Describe tells besides (enabled, the parameter type) can change before the
// request, which the application then refuses itself.
QString quitMissing(const QDBusConnection& bus, const ApplicationActions::Quit& quit) {
    const QDBusMessage description = callActions(bus, quit, QStringLiteral("Describe"), {kQuit});
    if (description.type() == QDBusMessage::ReplyMessage) {
        return {};
    }
    const QDBusMessage list = callActions(bus, quit, QStringLiteral("List"), {});
    if (isReply(list, "as") && list.arguments().constFirst().toStringList().contains(kQuit)) {
        return {};
    }
    return QStringLiteral("it exports no quit action");
}

}  // namespace

QString ApplicationActions::objectPath(const QString& desktopId) {
    const QStringList parts = desktopId.split(QLatin1Char('.'));
    if (desktopId.size() > kMaxBusName || parts.size() < 2 ||
        !std::all_of(parts.begin(), parts.end(), isNamePart)) {
        return {};
    }
    QString path = QLatin1Char('/') + desktopId;
    path.replace(QLatin1Char('.'), QLatin1Char('/'));
    path.replace(QLatin1Char('-'), QLatin1Char('_'));
    return path;
}

ApplicationActions::Quit ApplicationActions::findQuit(
    const QDBusConnection& bus, const QString& desktopId,
    const std::function<bool(pid_t)>& isApplications) {
    Quit quit;
    quit.path = objectPath(desktopId);
    if (quit.path.isEmpty()) {
        quit.missing = QStringLiteral("its id is no bus name");
        return quit;
    }
    if (!bus.isConnected()) {
        quit.missing = QStringLiteral("there is no session bus");
        return quit;
    }
    const QDBusMessage owner = callBus(bus, QStringLiteral("GetNameOwner"), desktopId);
    if (!isReply(owner, "s")) {
        quit.missing = QStringLiteral("nobody owns its name on the bus");
        return quit;
    }
    const QString connection = owner.arguments().constFirst().toString();
    const QDBusMessage pid = callBus(bus, QStringLiteral("GetConnectionUnixProcessID"), connection);
    if (!isReply(pid, "u")) {
        quit.missing = QStringLiteral("the bus does not say who owns its name");
        return quit;
    }
    const auto ownerPid = static_cast<pid_t>(pid.arguments().constFirst().toUInt());
    if (!isApplications(ownerPid)) {
        quit.missing =
            QStringLiteral("its name is owned by pid %1, outside its unit").arg(ownerPid);
        return quit;
    }
    quit.owner = connection;
    quit.missing = quitMissing(bus, quit);
    if (!quit.missing.isEmpty()) {
        quit.owner.clear();
    }
    return quit;
}

bool ApplicationActions::activateQuit(const QDBusConnection& bus, const Quit& quit) {
    if (!quit.found()) {
        return false;
    }
    QDBusMessage message = QDBusMessage::createMethodCall(quit.owner, quit.path, kApplication,
                                                          QStringLiteral("ActivateAction"));
    message << kQuit << QVariantList() << QVariantMap();
    message.setAutoStartService(false);
    const QDBusMessage reply = bus.call(message, QDBus::Block, kActivateTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return true;
    }
    const QDBusError::ErrorType error = QDBusError(reply).type();
    return error == QDBusError::NoReply || error == QDBusError::Timeout;
}

}  // namespace klosia
