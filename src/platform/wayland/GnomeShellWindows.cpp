#include "platform/wayland/GnomeShellWindows.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QThread>

#include "log/Vezizur.h"
#include "platform/wayland/GnomeShellSignals.h"

namespace klosia {

namespace {

constexpr int kCallTimeoutMs = 2000;
constexpr unsigned long kPollMs = 100;
// GNOME Shell's extension states: ENABLED in 43 and 44, ACTIVE (the same number) from 45.
constexpr double kExtensionEnabled = 1;

QString service() {
    return QLatin1String(GnomeShellWindows::kService);
}

QDBusMessage shellCall(const char* method) {
    return QDBusMessage::createMethodCall(service(), QLatin1String(GnomeShellWindows::kPath),
                                          QLatin1String(GnomeShellWindows::kInterface),
                                          QLatin1String(method));
}

// "org.gnome.Nautilus.desktop" names the entry the way the rest of the program does.
QString desktopId(QString appId) {
    if (appId.endsWith(QLatin1String(".desktop"))) {
        appId.chop(static_cast<int>(qstrlen(".desktop")));
    }
    return appId;
}

std::vector<QVariantMap> windowsOf(const QDBusMessage& reply) {
    std::vector<QVariantMap> windows;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return windows;
    }
    const QVariant first = reply.arguments().constFirst();
    if (!first.canConvert<QDBusArgument>()) {
        return windows;
    }
    const auto list = first.value<QDBusArgument>();
    if (list.currentSignature() != QLatin1String("aa{sv}")) {
        return windows;
    }
    list.beginArray();
    while (!list.atEnd()) {
        QVariantMap window;
        list >> window;
        windows.push_back(std::move(window));
    }
    list.endArray();
    return windows;
}

}  // namespace

GnomeShellWindows::GnomeShellWindows(const QDBusConnection& bus)
    : bus_(bus), signals_(std::make_unique<GnomeShellSignals>([this] {
          refresh();
          announceChanges();
      })) {}

GnomeShellWindows::~GnomeShellWindows() = default;

bool GnomeShellWindows::extensionEnabled(const QDBusConnection& bus) {
    QDBusMessage info = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("GetExtensionInfo"));
    info << QLatin1String(kUuid);
    const QDBusReply<QVariantMap> reply = bus.call(info, QDBus::Block, kCallTimeoutMs);
    return reply.isValid() &&
           reply.value().value(QStringLiteral("state")).toDouble() == kExtensionEnabled;
}

std::unique_ptr<GnomeShellWindows> GnomeShellWindows::connect(QString* error,
                                                              const QDBusConnection& bus,
                                                              std::chrono::milliseconds wait) {
    std::unique_ptr<GnomeShellWindows> windows(new GnomeShellWindows(bus));
    if (!windows->open(error)) {
        return nullptr;
    }
    if (!bus.isConnected()) {
        *error = QStringLiteral("no session bus to reach GNOME Shell on");
        return nullptr;
    }
    if (!extensionEnabled(bus)) {
        *error =
            QStringLiteral("GNOME Shell's extension %1 is not enabled").arg(QLatin1String(kUuid));
        return nullptr;
    }
    // The extension offers its interface once it has seen our name appear, a moment after it.
    const QDeadlineTimer deadline(wait);
    while (!bus.interface()->isServiceRegistered(service()).value() && !deadline.hasExpired()) {
        QThread::msleep(kPollMs);
    }
    QDBusMessage get = QDBusMessage::createMethodCall(
        service(), QLatin1String(kPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << QLatin1String(kInterface) << QStringLiteral("Version");
    const QDBusReply<QDBusVariant> version = bus.call(get, QDBus::Block, kCallTimeoutMs);
    if (!version.isValid()) {
        *error = QStringLiteral("GNOME Shell's extension does not answer: %1")
                     .arg(version.error().message());
        return nullptr;
    }
    if (version.value().variant().toUInt() != kVersion) {
        *error = QStringLiteral("GNOME Shell's extension speaks version %1, not %2")
                     .arg(version.value().variant().toUInt())
                     .arg(kVersion);
        return nullptr;
    }
    if (!windows->refresh()) {
        *error = QStringLiteral("GNOME Shell's extension did not list the windows");
        return nullptr;
    }
    GnomeShellWindows* self = windows.get();
    self->bus_.connect(
        service(), QLatin1String(kPath), QLatin1String(kInterface),
        QStringLiteral("WindowsChanged"), self->signals_.get(),
        SLOT(windowsChanged()));  // NOLINT: QtDBus connects signals by slot name only
    // The Shell restarted, the extension was disabled: what it listed can no longer be
    // vouched for. It comes back with the name.
    self->watcher_ = std::make_unique<QDBusServiceWatcher>(
        service(), bus, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(
        self->watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, self->signals_.get(),
        [self](const QString&, const QString&, const QString& owner) {
            if (owner.isEmpty()) {
                logger.log("GNOME Shell's extension left the bus", VezizurLevel::error);
            }
            self->refresh();
            self->announceChanges();
        });
    return windows;
}

bool GnomeShellWindows::refresh() {
    const QDBusMessage reply = bus_.call(shellCall("GetWindows"), QDBus::Block, kCallTimeoutMs);
    std::vector<Toplevel> next;
    std::map<quint64, std::uint32_t> ours;
    for (const QVariantMap& window : windowsOf(reply)) {
        const QVariant id = window.value(QStringLiteral("id"));
        if (id.metaType().id() != QMetaType::ULongLong) {
            continue;  // without its id a window cannot be asked to close
        }
        const quint64 shellId = id.toULongLong();
        const auto known = ours_.find(shellId);
        Toplevel toplevel;
        toplevel.id = known != ours_.end() ? known->second : nextId();
        ours.emplace(shellId, toplevel.id);
        toplevel.title = window.value(QStringLiteral("title")).toString();
        toplevel.appId = desktopId(window.value(QStringLiteral("app-id")).toString());
        if (toplevel.appId.isEmpty()) {
            toplevel.appId = window.value(QStringLiteral("wm-class")).toString();
        }
        toplevel.activated = window.value(QStringLiteral("focused")).toBool();
        toplevel.skipTaskbar = window.value(QStringLiteral("skip-taskbar")).toBool();
        const uint pid = window.value(QStringLiteral("pid")).toUInt();
        // Mutter's pid of an X11 window is what the window claims; the X side of the session
        // knows the true owner (X-Resource), so such a window counts as one without a pid.
        const bool x11 = window.value(QStringLiteral("client")).toString() == QLatin1String("x11");
        toplevel.pid = x11 || pid > static_cast<uint>(INT32_MAX) ? 0 : static_cast<pid_t>(pid);
        next.push_back(std::move(toplevel));
    }
    const bool answered = reply.type() == QDBusMessage::ReplyMessage;
    if (!answered) {
        logger.log("GNOME Shell's extension: " + reply.errorMessage().toStdString(),
                   VezizurLevel::error);
    }
    toplevels_ = std::move(next);
    ours_ = std::move(ours);
    markChanged();
    return answered;
}

bool GnomeShellWindows::call(const char* method, std::uint32_t id) {
    for (const auto& [shellId, our] : ours_) {
        if (our == id) {
            QDBusMessage message = shellCall(method);
            message << QVariant::fromValue(static_cast<qulonglong>(shellId));
            const QDBusReply<bool> found = bus_.call(message, QDBus::Block, kCallTimeoutMs);
            return found.isValid() && found.value();
        }
    }
    return false;
}

bool GnomeShellWindows::close(std::uint32_t id) {
    return call("Close", id);
}

bool GnomeShellWindows::activate(std::uint32_t id) {
    return call("Activate", id);
}

}  // namespace klosia
