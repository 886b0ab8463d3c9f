#include "platform/linux/DBusMenuExporter.h"

#include <QAction>
#include <QActionGroup>
#include <QDBusMetaType>
#include <QMetaObject>

namespace klosia {
namespace {

const QString kChildrenDisplay = QStringLiteral("children-display");
const QString kSubmenu = QStringLiteral("submenu");

// What the host is shown, compared between openings: the ids and every property.
void sign(const DBusMenuItem& item, QString& out) {
    out += QString::number(item.id) + QLatin1Char('{');
    for (auto it = item.properties.cbegin(); it != item.properties.cend(); ++it) {
        out += it.key() + QLatin1Char('=') + it.value().toString() + QLatin1Char(';');
    }
    for (const DBusMenuItem& child : item.children) {
        sign(child, out);
    }
    out += QLatin1Char('}');
}

QVariantMap only(const QVariantMap& properties, const QStringList& names) {
    if (names.isEmpty()) {
        return properties;
    }
    QVariantMap kept;
    for (const QString& name : names) {
        if (properties.contains(name)) {
            kept.insert(name, properties.value(name));
        }
    }
    return kept;
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItem& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.beginArray(QMetaType::fromType<QDBusVariant>());
    for (const DBusMenuItem& child : item.children) {
        argument << QDBusVariant(QVariant::fromValue(child));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItem& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    item.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        item.children.push_back(qdbus_cast<DBusMenuItem>(child.variant()));
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item) {
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item) {
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event) {
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event) {
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

DBusMenuExporter::DBusMenuExporter(QObject* parent) : QObject(parent) {
    qDBusRegisterMetaType<DBusMenuItem>();
    qDBusRegisterMetaType<DBusMenuItemProperties>();
    qDBusRegisterMetaType<DBusMenuItemPropertiesList>();
    qDBusRegisterMetaType<DBusMenuEvent>();
    qDBusRegisterMetaType<DBusMenuEventList>();
    qDBusRegisterMetaType<QList<int>>();
}

void DBusMenuExporter::setMenu(QMenu* menu) {
    if (menu == menu_) {
        return;
    }
    menu_ = menu;
    ids_.clear();
    actions_.clear();
    Q_EMIT LayoutUpdated(++revision_, 0);
}

QString DBusMenuExporter::labelOf(const QString& text) {
    QString label;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('&')) {
            // "&&" is a literal ampersand; a lone one marks the next letter.
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('&')) {
                label += QLatin1Char('&');
                ++i;
            } else {
                label += QLatin1Char('_');
            }
        } else if (c == QLatin1Char('_')) {
            label += QStringLiteral("__");
        } else {
            label += c;
        }
    }
    return label;
}

int DBusMenuExporter::idOf(QAction* action) {
    const auto known = ids_.constFind(action);
    if (known != ids_.constEnd()) {
        return *known;
    }
    const int id = nextId_++;
    ids_.insert(action, id);
    actions_.insert(id, action);
    // A removed action's id must not reach another that takes its address.
    connect(action, &QObject::destroyed, this, [this, action, id] {
        ids_.remove(action);
        actions_.remove(id);
    });
    return id;
}

QMenu* DBusMenuExporter::menuOf(int id) const {
    if (id == 0) {
        return menu_.data();
    }
    const QAction* action = actions_.value(id).data();
    return action != nullptr ? action->menu() : nullptr;
}

QVariantMap DBusMenuExporter::propertiesOf(int id) const {
    if (id == 0) {
        return {{kChildrenDisplay, kSubmenu}};
    }
    const QAction* action = actions_.value(id).data();
    if (action == nullptr) {
        return {};
    }
    if (action->isSeparator()) {
        return {{QStringLiteral("type"), QStringLiteral("separator")},
                {QStringLiteral("visible"), action->isVisible()}};
    }
    QVariantMap properties{{QStringLiteral("label"), labelOf(action->text())},
                           {QStringLiteral("enabled"), action->isEnabled()},
                           {QStringLiteral("visible"), action->isVisible()}};
    if (action->isCheckable()) {
        properties.insert(QStringLiteral("toggle-type"),
                          action->actionGroup() != nullptr && action->actionGroup()->isExclusive()
                              ? QStringLiteral("radio")
                              : QStringLiteral("checkmark"));
        properties.insert(QStringLiteral("toggle-state"), action->isChecked() ? 1 : 0);
    }
    if (action->menu() != nullptr) {
        properties.insert(kChildrenDisplay, kSubmenu);
    }
    return properties;
}

DBusMenuItem DBusMenuExporter::itemOf(int id, int depth) {
    DBusMenuItem item{id, propertiesOf(id), {}};
    QMenu* menu = menuOf(id);
    if (menu == nullptr || depth == 0) {
        return item;
    }
    for (QAction* action : menu->actions()) {
        item.children.push_back(itemOf(idOf(action), depth < 0 ? -1 : depth - 1));
    }
    return item;
}

uint DBusMenuExporter::GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                                 DBusMenuItem& layout) {
    DBusMenuItem whole = itemOf(parentId, recursionDepth);
    if (parentId == 0 && recursionDepth < 0) {
        QString signature;
        sign(whole, signature);
        lastLayout_ = signature.toUtf8();
    }
    if (!propertyNames.isEmpty()) {
        const auto filter = [&propertyNames](auto& self, DBusMenuItem& item) -> void {
            item.properties = only(item.properties, propertyNames);
            for (DBusMenuItem& child : item.children) {
                self(self, child);
            }
        };
        filter(filter, whole);
    }
    layout = whole;
    return revision_;
}

QList<DBusMenuItemProperties> DBusMenuExporter::GetGroupProperties(
    const QList<int>& ids, const QStringList& propertyNames) {
    DBusMenuItemPropertiesList result;
    for (const int id : ids) {
        if (id == 0 || actions_.value(id)) {
            result.push_back({id, only(propertiesOf(id), propertyNames)});
        }
    }
    return result;
}

QDBusVariant DBusMenuExporter::GetProperty(int id, const QString& name) {
    return QDBusVariant(propertiesOf(id).value(name));
}

bool DBusMenuExporter::handle(int id, const QString& eventId) {
    if (id != 0 && !actions_.value(id)) {
        return false;
    }
    if (eventId == QLatin1String("clicked") && id != 0) {
        // After the reply: the press may end the program, and the host waits for its answer.
        QPointer<QAction> action = actions_.value(id);
        QMetaObject::invokeMethod(
            this,
            [action] {
                if (action && action->isEnabled()) {
                    action->trigger();
                }
            },
            Qt::QueuedConnection);
    }
    return true;
}

void DBusMenuExporter::Event(int id, const QString& eventId, const QDBusVariant& /*data*/,
                             uint /*timestamp*/) {
    handle(id, eventId);
}

QList<int> DBusMenuExporter::EventGroup(const QList<DBusMenuEvent>& events) {
    QList<int> unknown;
    for (const DBusMenuEvent& event : events) {
        if (!handle(event.id, event.eventId)) {
            unknown.push_back(event.id);
        }
    }
    return unknown;
}

bool DBusMenuExporter::AboutToShow(int id) {
    QMenu* menu = menuOf(id);
    if (menu == nullptr) {
        return false;
    }
    // The menu brings its entries up to date when it is about to show, as on a press of ours.
    Q_EMIT menu->aboutToShow();
    QString signature;
    sign(itemOf(0, -1), signature);
    if (signature.toUtf8() == lastLayout_) {
        return false;
    }
    lastLayout_ = signature.toUtf8();
    Q_EMIT LayoutUpdated(++revision_, 0);
    return true;
}

QList<int> DBusMenuExporter::AboutToShowGroup(const QList<int>& ids, QList<int>& idErrors) {
    QList<int> updates;
    for (const int id : ids) {
        if (menuOf(id) == nullptr) {
            idErrors.push_back(id);
        } else if (AboutToShow(id)) {
            updates.push_back(id);
        }
    }
    return updates;
}

}  // namespace klosia
