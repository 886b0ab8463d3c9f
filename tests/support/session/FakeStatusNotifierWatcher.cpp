#include "support/session/FakeStatusNotifierWatcher.h"

#include <QDBusConnection>

namespace klosia::test {

bool FakeStatusNotifierWatcher::start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.registerObject(
               QStringLiteral("/StatusNotifierWatcher"), this,
               QDBusConnection::ExportScriptableContents | QDBusConnection::ExportAllProperties) &&
           bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

void FakeStatusNotifierWatcher::stop() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
    bus.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
}

}  // namespace klosia::test
