#include "platform/linux/StatusNotifierItem.h"

#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QImage>
#include <QMenu>
#include <QtEndian>

#include <unistd.h>

#include "log/Vezizur.h"

namespace klosia {
namespace {

const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
const QString kMenuPath = QStringLiteral("/MenuBar");
// The sizes hosts draw tray icons at (panels of 16 to 48 pixels).
constexpr int kImageSizes[] = {16, 22, 32, 48};

SniPixmaps pixmapsOf(const QIcon& icon) {
    SniPixmaps pixmaps;
    for (const int size : kImageSizes) {
        const QImage image =
            icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
        if (image.isNull()) {
            continue;
        }
        SniPixmap pixmap{image.width(), image.height(), {}};
        pixmap.data.resize(static_cast<qsizetype>(image.width()) * image.height() * 4);
        auto* out = reinterpret_cast<quint32*>(pixmap.data.data());
        for (int y = 0; y < image.height(); ++y) {
            const auto* line = reinterpret_cast<const quint32*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                *out++ = qToBigEndian(line[x]);
            }
        }
        pixmaps.append(std::move(pixmap));
    }
    return pixmaps;
}

}  // namespace

QDBusArgument& operator<<(QDBusArgument& argument, const SniPixmap& pixmap) {
    argument.beginStructure();
    argument << pixmap.width << pixmap.height << pixmap.data;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniPixmap& pixmap) {
    argument.beginStructure();
    argument >> pixmap.width >> pixmap.height >> pixmap.data;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const SniToolTip& tip) {
    argument.beginStructure();
    argument << tip.iconName << tip.images << tip.title << tip.description;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, SniToolTip& tip) {
    argument.beginStructure();
    argument >> tip.iconName >> tip.images >> tip.title >> tip.description;
    argument.endStructure();
    return argument;
}

bool StatusNotifierItem::watcherRuns() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() &&
           bus.interface()->isServiceRegistered(QLatin1String(kWatcher)).value();
}

StatusNotifierItem::StatusNotifierItem(QString id, QString title, QObject* parent)
    : StatusItem(parent),
      id_(std::move(id)),
      title_(std::move(title)),
      serviceName_(QStringLiteral("org.kde.StatusNotifierItem-%1-1").arg(::getpid())),
      menuExporter_(new DBusMenuExporter(this)) {
    qDBusRegisterMetaType<SniPixmap>();
    qDBusRegisterMetaType<SniPixmaps>();
    qDBusRegisterMetaType<SniToolTip>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        logger.log("status notifier item: no session bus", VezizurLevel::error);
        return;
    }
    if (!bus.registerObject(kItemPath, this,
                            QDBusConnection::ExportScriptableSlots |
                                QDBusConnection::ExportScriptableSignals |
                                QDBusConnection::ExportScriptableProperties) ||
        !bus.registerObject(kMenuPath, menuExporter_, QDBusConnection::ExportScriptableContents) ||
        !bus.registerService(serviceName_)) {
        logger.log("status notifier item: cannot publish " + serviceName_.toStdString(),
                   VezizurLevel::error);
        return;
    }
    // A panel restarted, or started after us: its watcher knows nothing of the item.
    watcher_ = new QDBusServiceWatcher(QLatin1String(kWatcher), bus,
                                       QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                if (owner.isEmpty()) {
                    setInTray(false);
                } else {
                    registerWithWatcher();
                }
            });
    for (const char* signal : {"StatusNotifierHostRegistered", "StatusNotifierHostUnregistered"}) {
        bus.connect(QLatin1String(kWatcher), kWatcherPath, QLatin1String(kWatcher),
                    QLatin1String(signal), this, SLOT(readHostState()));
    }
    registerWithWatcher();
}

StatusNotifierItem::~StatusNotifierItem() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(kItemPath);
    bus.unregisterObject(kMenuPath);
    bus.unregisterService(serviceName_);
}

void StatusNotifierItem::setContextMenu(QMenu* menu) {
    menu_ = menu;
    menuExporter_->setMenu(menu);
}

QDBusObjectPath StatusNotifierItem::menuPath() const {
    return QDBusObjectPath(kMenuPath);
}

QRect StatusNotifierItem::iconGeometry() const {
    // The host names a point, not the icon's rectangle: the menu opens at it.
    return pressedAt_.isNull() ? QRect() : QRect(pressedAt_, QSize(1, 1));
}

void StatusNotifierItem::setImage(const QIcon& image) {
    pixmaps_ = pixmapsOf(image);
    Q_EMIT NewIcon();
}

void StatusNotifierItem::Activate(int x, int y) {
    pressedAt_ = QPoint(x, y);
    Q_EMIT pressed();
}

void StatusNotifierItem::SecondaryActivate(int /*x*/, int /*y*/) {
    // A middle press: nothing of ours to do.
}

void StatusNotifierItem::ContextMenu(int x, int y) {
    const QPoint at = x != 0 || y != 0 ? QPoint(x, y) : QCursor::pos();
    if (menu_) {
        menu_->popup(at);
    }
}

void StatusNotifierItem::Scroll(int /*delta*/, const QString& /*orientation*/) {}

void StatusNotifierItem::registerWithWatcher() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QLatin1String(kWatcher), kWatcherPath, QLatin1String(kWatcher),
        QStringLiteral("RegisterStatusNotifierItem"));
    call << serviceName_;
    auto* pending =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                if (done->isError()) {
                    logger.log("status notifier item: the watcher refused it: " +
                                   done->error().message().toStdString(),
                               VezizurLevel::error);
                    setInTray(false);
                    return;
                }
                readHostState();
            });
}

bool StatusNotifierItem::isInTray() const {
    // The extension holds this name only while it shows its button for the running Klosia.
    return inTray_ || QDBusConnection::sessionBus()
                          .interface()
                          ->isServiceRegistered(QStringLiteral("org.klosia.Shell"))
                          .value();
}

void StatusNotifierItem::readHostState() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        QLatin1String(kWatcher), kWatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << QLatin1String(kWatcher) << QStringLiteral("IsStatusNotifierHostRegistered");
    auto* pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                const QDBusPendingReply<QDBusVariant> reply = *done;
                // A watcher without a host shows nothing: that is no tray.
                setInTray(!reply.isError() && reply.value().variant().toBool());
            });
}

void StatusNotifierItem::setInTray(bool inTray) {
    if (inTray != inTray_) {
        inTray_ = inTray;
        logger.log(inTray ? "status notifier item: shown by a host"
                          : "status notifier item: no host shows it",
                   VezizurLevel::info);
        Q_EMIT trayAvailabilityChanged(inTray);
    }
}

}  // namespace klosia
