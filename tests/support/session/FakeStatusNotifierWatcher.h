#pragma once

#include <QObject>
#include <QStringList>

namespace klosia::test {

// A watcher as panels run it, that also says a host shows the items.
class FakeStatusNotifierWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    // Owns the watcher's name and object on the session bus; false when another has them.
    bool start();
    void stop();
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

    QStringList items;  // as registered: the service names
    int registrations = 0;

public Q_SLOTS:
    Q_SCRIPTABLE void RegisterStatusNotifierItem(const QString& service) {
        ++registrations;
        items << service;
    }
};

}  // namespace klosia::test
