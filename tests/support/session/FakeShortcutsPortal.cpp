#include "support/session/FakeShortcutsPortal.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QTimer>

namespace klosia::test {
namespace {

const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

}  // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcutEntry& entry) {
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

bool FakeShortcutsPortal::start() {
    qDBusRegisterMetaType<PortalShortcutEntry>();
    qDBusRegisterMetaType<PortalShortcutList>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.registerObject(
               kPath, this,
               QDBusConnection::ExportScriptableSlots | QDBusConnection::ExportAllProperties) &&
           bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
}

void FakeShortcutsPortal::stop() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
    bus.unregisterObject(kPath);
}

QDBusObjectPath FakeShortcutsPortal::respond(const QVariantMap& options,
                                             const QVariantMap& results) {
    QString sender = message().service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path = QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2")
                             .arg(sender, options.value(QStringLiteral("handle_token")).toString());
    // After the reply, as the portal does: the caller listens before it asks.
    QTimer::singleShot(0, this, [path, results] {
        QDBusMessage response = QDBusMessage::createSignal(
            path, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
        response << 0U << results;
        QDBusConnection::sessionBus().send(response);
    });
    return QDBusObjectPath(path);
}

QDBusObjectPath FakeShortcutsPortal::CreateSession(const QVariantMap& options) {
    QString sender = message().service().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    session = QStringLiteral("/org/freedesktop/portal/desktop/session/%1/%2")
                  .arg(sender, options.value(QStringLiteral("session_handle_token")).toString());
    return respond(options, {{QStringLiteral("session_handle"), session}});
}

QDBusObjectPath FakeShortcutsPortal::BindShortcuts(const QDBusObjectPath& /*session*/,
                                                   const QList<PortalShortcutEntry>& shortcuts,
                                                   const QString& /*parentWindow*/,
                                                   const QVariantMap& options) {
    boundIds.clear();
    boundTriggers.clear();
    for (const PortalShortcutEntry& entry : shortcuts) {
        boundIds << entry.id;
        boundTriggers << entry.properties.value(QStringLiteral("preferred_trigger")).toString();
    }
    ++bindings;
    return respond(options, {});
}

void FakeShortcutsPortal::press(const QString& id) {
    for (const char* name : {"Activated", "Deactivated"}) {
        QDBusMessage signal =
            QDBusMessage::createSignal(kPath, kInterface, QString::fromLatin1(name));
        signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong{0}
               << QVariantMap{};
        QDBusConnection::sessionBus().send(signal);
    }
}

}  // namespace klosia::test
