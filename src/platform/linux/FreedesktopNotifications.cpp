#include "platform/linux/FreedesktopNotifications.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QMetaObject>
#include <QVariantMap>

#include <memory>
#include <utility>

#include "log/Vezizur.h"

namespace klosia {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");

QDBusMessage busCall(const QString& method) {
    return QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                          QStringLiteral("/org/freedesktop/DBus"),
                                          QStringLiteral("org.freedesktop.DBus"), method);
}

QString errorText(const QDBusMessage& reply) {
    const QString message = reply.errorMessage();
    return message.isEmpty() ? reply.errorName() : message;
}

bool isError(const QDBusMessage& reply) {
    return reply.type() != QDBusMessage::ReplyMessage;
}

// The first argument of a reply, when it has the expected type.
template <typename T>
std::optional<T> firstArgument(const QDBusMessage& reply) {
    if (isError(reply) || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    const QVariant value = reply.arguments().constFirst();
    if (value.metaType() != QMetaType::fromType<T>()) {
        return std::nullopt;
    }
    return value.value<T>();
}

}  // namespace

FreedesktopNotifications::FreedesktopNotifications(QDBusConnection bus) : bus_(std::move(bus)) {}

QString FreedesktopNotifications::escapeMarkup(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('&')) {
            escaped += QStringLiteral("&amp;");
        } else if (c == QLatin1Char('<')) {
            escaped += QStringLiteral("&lt;");
        } else if (c == QLatin1Char('>')) {
            escaped += QStringLiteral("&gt;");
        } else {
            escaped += c;
        }
    }
    return escaped;
}

void FreedesktopNotifications::later(std::function<void()> work) {
    QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

void FreedesktopNotifications::send(const QDBusMessage& call, int timeoutMs, ReplyHandler handler) {
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, timeoutMs), &context_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_,
                     [handler = std::move(handler)](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         handler(finished->reply());
                     });
}

void FreedesktopNotifications::requestAuthorization(AuthorizationHandler done) {
    if (!bus_.isConnected()) {
        const QString reason =
            QStringLiteral("no D-Bus session bus: %1").arg(bus_.lastError().message());
        later([done = std::move(done), reason] { done(false, reason); });
        return;
    }
    QDBusMessage call = busCall(QStringLiteral("NameHasOwner"));
    call << kService;
    send(call, kCallTimeoutMs, [this, done = std::move(done)](const QDBusMessage& reply) mutable {
        if (isError(reply)) {
            done(false, errorText(reply));
        } else if (firstArgument<bool>(reply).value_or(false)) {
            done(true, QString());
        } else {
            askActivatable(std::move(done));
        }
    });
}

void FreedesktopNotifications::askActivatable(AuthorizationHandler done) {
    send(busCall(QStringLiteral("ListActivatableNames")), kCallTimeoutMs,
         [this, done = std::move(done)](const QDBusMessage& reply) mutable {
             if (isError(reply)) {
                 done(false, errorText(reply));
                 return;
             }
             if (!firstArgument<QStringList>(reply).value_or(QStringList()).contains(kService)) {
                 done(false, QStringLiteral("no notification server: %1 has no owner and none "
                                            "can be activated")
                                 .arg(kService));
                 return;
             }
             startServer(std::move(done));
         });
}

void FreedesktopNotifications::startServer(AuthorizationHandler done) {
    QDBusMessage call = busCall(QStringLiteral("StartServiceByName"));
    call << kService << 0U;
    send(call, kStartTimeoutMs, [done = std::move(done)](const QDBusMessage& reply) {
        // 1: started now, 2: it was already running.
        const auto result = firstArgument<uint>(reply);
        if (result && (*result == 1 || *result == 2)) {
            done(true, QString());
        } else if (isError(reply)) {
            done(false, QStringLiteral("the notification server could not be started: %1")
                            .arg(errorText(reply)));
        } else {
            done(false, QStringLiteral("the notification server could not be started"));
        }
    });
}

void FreedesktopNotifications::add(const NotificationRequest& request, CompletionHandler done) {
    if (!bus_.isConnected()) {
        const QString reason =
            QStringLiteral("no D-Bus session bus: %1").arg(bus_.lastError().message());
        later([done = std::move(done), reason] { done(reason); });
        return;
    }
    if (bodyMarkup_.has_value()) {
        notify(request, done);
        return;
    }
    // The capabilities decide how the body is written; a server answers once, at the first
    // notification, and is assumed not to change them while it runs.
    const QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                             QStringLiteral("GetCapabilities"));
    send(call, kCallTimeoutMs, [this, request, done = std::move(done)](const QDBusMessage& reply) {
        if (!bodyMarkup_.has_value() && !isError(reply)) {
            bodyMarkup_ = firstArgument<QStringList>(reply)
                              .value_or(QStringList())
                              .contains(QStringLiteral("body-markup"));
        }
        // A failed query is not remembered: the Notify below reports the real failure.
        notify(request, done);
    });
}

void FreedesktopNotifications::notify(const NotificationRequest& request,
                                      const CompletionHandler& done) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    QVariantMap hints;
    if (!request.desktopEntry.isEmpty()) {
        hints.insert(QStringLiteral("desktop-entry"), request.desktopEntry);
    }
    const QString body =
        bodyMarkup_.value_or(false) ? escapeMarkup(request.subtitle) : request.subtitle;
    call << request.appName << 0U << request.iconName << request.title << body << QStringList()
         << hints << -1;
    send(call, kCallTimeoutMs, [done](const QDBusMessage& reply) {
        if (isError(reply)) {
            done(errorText(reply));
        } else if (!firstArgument<uint>(reply).has_value()) {
            done(QStringLiteral("the notification server gave no notification id"));
        } else {
            done(QString());
        }
    });
}

}  // namespace klosia
