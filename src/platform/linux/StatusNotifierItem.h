#pragma once

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QIcon>
#include <QList>
#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QString>

#include "platform/StatusItem.h"
#include "platform/linux/DBusMenuExporter.h"

class QDBusServiceWatcher;

namespace klosia {

// One image of an item's icon as the protocol carries it: ARGB32 in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray data;
};
using SniPixmaps = QList<SniPixmap>;
// The tool tip: an icon name, its images, a title and a description.
struct SniToolTip {
    QString iconName;
    SniPixmaps images;
    QString title;
    QString description;
};

// The icon published by us as a StatusNotifierItem (org.kde.StatusNotifierItem, registered with
// the session's org.kde.StatusNotifierWatcher), for the trays that host those: KDE's, waybar's,
// Xfce's. Unlike Qt's own, it keeps the position a host sends with Activate(x, y), so the menu
// can open next to the icon. A tray shows it while the watcher runs and says a host is
// registered; the item registers again whenever a watcher (re)appears.
class StatusNotifierItem final : public StatusItem {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(klosia::SniPixmaps IconPixmap READ iconPixmap)
    Q_PROPERTY(klosia::SniToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menuPath)

public:
    static constexpr const char* kWatcher = "org.kde.StatusNotifierWatcher";

    // Whether the session bus has a watcher now: then this item, not XEmbed, reaches the tray.
    static bool watcherRuns();

    explicit StatusNotifierItem(QString id, QString title, QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    QRect iconGeometry() const override;
    // Shown by a host, or, on GNOME, by our Shell extension's top-bar button in its place.
    bool isInTray() const override;
    void setImage(const QIcon& image) override;
    void setHighlighted(bool highlighted) override { highlighted_ = highlighted; }
    bool isHighlighted() const override { return highlighted_; }
    // Shown by ContextMenu, and published for the hosts that draw the menu themselves.
    void setContextMenu(QMenu* menu) override;

    // The bus name the item is published under.
    QString serviceName() const { return serviceName_; }

    QString category() const { return QStringLiteral("ApplicationStatus"); }
    QString id() const { return id_; }
    QString title() const { return title_; }
    QString status() const { return QStringLiteral("Active"); }
    QString iconName() const { return {}; }
    SniPixmaps iconPixmap() const { return pixmaps_; }
    SniToolTip toolTip() const { return {{}, {}, title_, {}}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menuPath() const;

public Q_SLOTS:
    // A host's primary press (x, y: where, as the host tells; 0, 0 when it does not).
    Q_SCRIPTABLE void Activate(int x, int y);
    Q_SCRIPTABLE void SecondaryActivate(int x, int y);
    Q_SCRIPTABLE void ContextMenu(int x, int y);
    Q_SCRIPTABLE void Scroll(int delta, const QString& orientation);

Q_SIGNALS:
    Q_SCRIPTABLE void NewIcon();
    Q_SCRIPTABLE void NewToolTip();
    Q_SCRIPTABLE void NewStatus(const QString& status);

private Q_SLOTS:
    // The watcher's word on whether a host shows items now.
    void readHostState();

private:
    void registerWithWatcher();
    void setInTray(bool inTray);

    QString id_;
    QString title_;
    QString serviceName_;
    SniPixmaps pixmaps_;
    QPointer<QMenu> menu_;
    DBusMenuExporter* menuExporter_;
    QDBusServiceWatcher* watcher_ = nullptr;
    QPoint pressedAt_;  // where the last Activate said; null when it said nothing
    bool inTray_ = false;
    bool highlighted_ = false;
};

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap);
QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip);
const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip);

}  // namespace klosia

Q_DECLARE_METATYPE(klosia::SniPixmap)
Q_DECLARE_METATYPE(klosia::SniToolTip)
