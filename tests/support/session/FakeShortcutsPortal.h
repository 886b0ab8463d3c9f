#pragma once

#include <QDBusArgument>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace klosia::test {

// One shortcut as BindShortcuts carries it: (sa{sv}).
struct PortalShortcutEntry {
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcutEntry>;

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcutEntry& entry);
const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcutEntry& entry);

// The desktop portal's GlobalShortcuts interface as KDE Plasma offers it, on the session bus:
// sessions, BindShortcuts (whose shortcuts it records), the Request objects' Response signals,
// and Activated/Deactivated when the test says a key was pressed.
class FakeShortcutsPortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)

public:
    // Owns org.freedesktop.portal.Desktop; false when another has it.
    bool start();
    void stop();
    uint version() const { return 1; }

    // What the last BindShortcuts asked for: each shortcut's id and preferred trigger.
    QStringList boundIds;
    QStringList boundTriggers;
    int bindings = 0;
    QString session;

    // As the desktop does when the user presses the keys of `id`.
    void press(const QString& id);

public Q_SLOTS:
    Q_SCRIPTABLE QDBusObjectPath CreateSession(const QVariantMap& options);
    // The list by its full name: QtDBus finds a slot's types by the names moc recorded.
    Q_SCRIPTABLE QDBusObjectPath BindShortcuts(
        const QDBusObjectPath& session, const QList<klosia::test::PortalShortcutEntry>& shortcuts,
        const QString& parentWindow, const QVariantMap& options);

private:
    // The Request object the portal answers on, and the answer.
    QDBusObjectPath respond(const QVariantMap& options, const QVariantMap& results);
};

}  // namespace klosia::test

Q_DECLARE_METATYPE(klosia::test::PortalShortcutEntry)
