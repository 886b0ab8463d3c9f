#pragma once

#include <QDBusArgument>
#include <QDBusVariant>
#include <QHash>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class QAction;

namespace klosia {

// One entry of a published menu and, for a layout, the entries under it.
struct DBusMenuItem {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuItem> children;
};
// One entry's properties alone.
struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;
// A press or another event on an entry, as a host sends a group of them.
struct DBusMenuEvent {
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};
using DBusMenuEventList = QList<DBusMenuEvent>;

// A menu of ours published as com.canonical.dbusmenu, for the trays that draw an item's menu
// themselves instead of asking the item to show one: Xfce's shows its own panel menu on a
// secondary press of an item without one. The host reads the entries when it opens the menu and
// sends back the press; the press runs the entry's action, as a press in the menu itself would.
class DBusMenuExporter final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit DBusMenuExporter(QObject* parent = nullptr);

    void setMenu(QMenu* menu);
    // A label as the protocol writes it: its mnemonic marked with '_', a literal '_' doubled.
    static QString labelOf(const QString& text);

    uint version() const { return 3; }
    QString textDirection() const { return QStringLiteral("ltr"); }
    QString status() const { return QStringLiteral("normal"); }
    QStringList iconThemePath() const { return {}; }

public Q_SLOTS:
    Q_SCRIPTABLE uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                klosia::DBusMenuItem& layout);
    // The lists are spelled out: the bus finds a slot's types by their names, and knows no
    // alias of them.
    Q_SCRIPTABLE QList<klosia::DBusMenuItemProperties> GetGroupProperties(
        const QList<int>& ids, const QStringList& propertyNames);
    Q_SCRIPTABLE QDBusVariant GetProperty(int id, const QString& name);
    Q_SCRIPTABLE void Event(int id, const QString& eventId, const QDBusVariant& data,
                            uint timestamp);
    Q_SCRIPTABLE QList<int> EventGroup(const QList<klosia::DBusMenuEvent>& events);
    Q_SCRIPTABLE bool AboutToShow(int id);
    Q_SCRIPTABLE QList<int> AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors);

Q_SIGNALS:
    Q_SCRIPTABLE void LayoutUpdated(uint revision, int parent);
    Q_SCRIPTABLE void ItemActivationRequested(int id, uint timestamp);

private:
    int idOf(QAction* action);
    QMenu* menuOf(int id) const;
    QVariantMap propertiesOf(int id) const;
    DBusMenuItem itemOf(int id, int depth);
    // Whether an event names an entry we have; a press runs its action once the call returned.
    bool handle(int id, const QString& eventId);

    QPointer<QMenu> menu_;
    QHash<QAction*, int> ids_;
    QHash<int, QPointer<QAction>> actions_;
    int nextId_ = 1;
    uint revision_ = 1;
    QByteArray lastLayout_;  // what the host was given last, to tell it when that changed
};

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event);

}  // namespace klosia

Q_DECLARE_METATYPE(klosia::DBusMenuItem)
Q_DECLARE_METATYPE(klosia::DBusMenuItemProperties)
Q_DECLARE_METATYPE(klosia::DBusMenuEvent)
