#pragma once

#include <QDBusConnection>
#include <QObject>

#include <optional>

#include "platform/NotificationCenter.h"

class QDBusMessage;
class QDBusPendingCallWatcher;

namespace klosia {

// User notifications through the freedesktop Notifications service on the session bus
// (org.freedesktop.Notifications). Every bus call is asynchronous: the GUI thread never waits
// for the bus or for a server being started.
//
// Reachable means that the service name has an owner, or that the bus can activate it and
// StartServiceByName succeeds. Each request is a new notification (replaces_id 0); the desktop
// entry goes in the "desktop-entry" hint. When the server renders body markup, the subtitle is
// escaped so that an application name like "Tom & Jerry <beta>" shows as written.
class FreedesktopNotifications final : public NotificationCenter {
public:
    explicit FreedesktopNotifications(QDBusConnection bus = QDBusConnection::sessionBus());

    void requestAuthorization(AuthorizationHandler done) override;
    void add(const NotificationRequest& request, CompletionHandler done) override;

    // "&", "<" and ">" as the entities of the notification markup.
    static QString escapeMarkup(const QString& text);

    static constexpr int kCallTimeoutMs = 10000;
    // Starting a server may take a while (a first start after login).
    static constexpr int kStartTimeoutMs = 30000;

private:
    using ReplyHandler = std::function<void(const QDBusMessage& reply)>;

    // Sends `call` and runs `handler` with the reply or the error message, on this thread.
    void send(const QDBusMessage& call, int timeoutMs, ReplyHandler handler);
    void askActivatable(AuthorizationHandler done);
    void startServer(AuthorizationHandler done);
    void notify(const NotificationRequest& request, const CompletionHandler& done);
    // Runs `work` from the event loop, for answers that are known at once.
    void later(std::function<void()> work);

    QDBusConnection bus_;
    // Parent of the pending-call watchers: answers stop with this object.
    QObject context_;
    std::optional<bool> bodyMarkup_;
};

}  // namespace klosia
