#include "platform/linux/PortalHotKeyService.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QStringList>
#include <QTimer>

#include <xkbcommon/xkbcommon.h>

#include <array>

#include "log/Vezizur.h"

namespace klosia {
namespace {

const QString kPortal = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");

// One shortcut as BindShortcuts takes it: (sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

QDBusMessage portalCall(const QString& method) {
    return QDBusMessage::createMethodCall(kPortal, kPortalPath, kShortcuts, method);
}

}  // namespace
}  // namespace klosia

Q_DECLARE_METATYPE(klosia::PortalShortcut)

namespace klosia {

bool PortalHotKeyService::available() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kPortal, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    get << kShortcuts << QStringLiteral("version");
    // The portal starts on demand: a missing one must not hold the start-up for long.
    const QDBusReply<QDBusVariant> reply =
        QDBusConnection::sessionBus().call(get, QDBus::Block, 3000);
    return reply.isValid() && reply.value().variant().toUInt() >= 1;
}

PortalHotKeyService::PortalHotKeyService(QObject* parent) : QObject(parent) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(kPortal, kPortalPath, kShortcuts, QStringLiteral("Activated"), this,
                SLOT(activated(QDBusMessage)));
    bus.connect(kPortal, kPortalPath, kShortcuts, QStringLiteral("Deactivated"), this,
                SLOT(deactivated(QDBusMessage)));
    // The answer comes as a Response signal on a request object: listen before asking.
    const QString token = QStringLiteral("klosia_session_%1").arg(++requests_);
    bus.connect(kPortal, requestPath(token), kRequest, QStringLiteral("Response"), this,
                SLOT(sessionCreated(uint, QVariantMap)));
    QDBusMessage create = portalCall(QStringLiteral("CreateSession"));
    create << QVariantMap{{QStringLiteral("handle_token"), token},
                          {QStringLiteral("session_handle_token"), QStringLiteral("klosia")}};
    const QDBusMessage answer = bus.call(create, QDBus::Block, 5000);
    if (answer.type() != QDBusMessage::ReplyMessage) {
        logger.log("global shortcuts: the portal refused a session: " +
                       answer.errorMessage().toStdString(),
                   VezizurLevel::error);
    }
}

PortalHotKeyService::~PortalHotKeyService() {
    if (!session_.isEmpty()) {
        QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(kPortal, session_,
                                           QStringLiteral("org.freedesktop.portal.Session"),
                                           QStringLiteral("Close")),
            QDBus::NoBlock);
    }
}

QString PortalHotKeyService::requestPath(const QString& token) {
    QString sender = QDBusConnection::sessionBus().baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

QString PortalHotKeyService::shortcutId(HotKeyId hotKeyId) {
    return QStringLiteral("klosia-%1-%2").arg(hotKeyId.signature).arg(hotKeyId.id);
}

QString PortalHotKeyService::triggerOf(HotKeyCombination combination) {
    // X modifier bits: Shift 0x1, Control 0x4, Mod1 (Alt) 0x8, Mod4 (Super) 0x40.
    static constexpr std::array<std::pair<std::uint16_t, const char*>, 4> kNames = {
        {{0x4, "CTRL"}, {0x8, "ALT"}, {0x1, "SHIFT"}, {0x40, "LOGO"}}};
    QStringList parts;
    for (const auto& [bit, name] : kNames) {
        if ((combination.modifiers & bit) != 0) {
            parts << QLatin1String(name);
        }
    }
    std::array<char, 64> key{};
    if (combination.keysym == XKB_KEY_NoSymbol ||
        xkb_keysym_get_name(combination.keysym, key.data(), key.size()) <= 0) {
        return {};
    }
    parts << QString::fromLatin1(key.data());
    return parts.join(QLatin1Char('+'));
}

bool PortalHotKeyService::registerHotKey(HotKeyId hotKeyId, HotKeyCombination combination) {
    if (triggerOf(combination).isEmpty()) {
        return false;
    }
    shortcuts_[shortcutId(hotKeyId)] = {hotKeyId, combination};
    bind();
    return true;
}

void PortalHotKeyService::unregisterHotKey(HotKeyId hotKeyId) {
    if (shortcuts_.erase(shortcutId(hotKeyId)) > 0) {
        bind();
    }
}

void PortalHotKeyService::bind() {
    // Registrations come in bursts (three at start, two at a change): one binding for each.
    if (bindPending_) {
        return;
    }
    bindPending_ = true;
    QTimer::singleShot(0, this, [this] {
        bindPending_ = false;
        if (session_.isEmpty()) {
            return;  // bound once the session exists
        }
        QList<PortalShortcut> list;
        for (const auto& [id, entry] : shortcuts_) {
            list.append({id,
                         {{QStringLiteral("description"),
                           QStringLiteral("Klosia (%1)").arg(entry.first.id)},
                          {QStringLiteral("preferred_trigger"), triggerOf(entry.second)}}});
        }
        QDBusMessage message = portalCall(QStringLiteral("BindShortcuts"));
        message << QVariant::fromValue(QDBusObjectPath(session_)) << QVariant::fromValue(list)
                << QString()
                << QVariantMap{{QStringLiteral("handle_token"),
                                QStringLiteral("klosia_bind_%1").arg(++requests_)}};
        QDBusConnection::sessionBus().call(message, QDBus::NoBlock);
        logger.log("global shortcuts: " + std::to_string(list.size()) +
                       " proposed to the desktop's portal",
                   VezizurLevel::info);
    });
}

void PortalHotKeyService::sessionCreated(uint response, const QVariantMap& results) {
    if (response != 0) {
        logger.log(
            "global shortcuts: the portal declined a session (" + std::to_string(response) + ")",
            VezizurLevel::error);
        return;
    }
    session_ = results.value(QStringLiteral("session_handle")).toString();
    if (session_.isEmpty()) {
        session_ =
            qvariant_cast<QDBusObjectPath>(results.value(QStringLiteral("session_handle"))).path();
    }
    bind();
}

void PortalHotKeyService::activated(const QDBusMessage& message) {
    deliver(message, HotKeyEventKind::pressed);
}

void PortalHotKeyService::deactivated(const QDBusMessage& message) {
    deliver(message, HotKeyEventKind::released);
}

void PortalHotKeyService::deliver(const QDBusMessage& message, HotKeyEventKind kind) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() < 2 ||
        qvariant_cast<QDBusObjectPath>(arguments.at(0)).path() != session_) {
        return;  // another program's session
    }
    const auto found = shortcuts_.find(arguments.at(1).toString());
    if (found != shortcuts_.end() && handler_) {
        handler_({found->second.first, kind});
    }
}

bool PortalHotKeyService::isCombination(HotKeyCombination /*combination*/,
                                        std::uint32_t /*nativeScanCode*/,
                                        std::uint32_t /*nativeModifiers*/) const {
    return false;
}

std::uint32_t PortalHotKeyService::unshiftedKeysym(std::uint32_t /*nativeScanCode*/) const {
    return 0;
}

}  // namespace klosia
