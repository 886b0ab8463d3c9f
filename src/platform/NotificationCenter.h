#pragma once

#include <QString>

#include <functional>

namespace klosia {

// One user notification as the program hands it to the desktop.
struct NotificationRequest {
    QString identifier;    // distinct for every request
    QString appName;       // who sent it, as the server shows it
    QString iconName;      // an icon-theme name
    QString desktopEntry;  // the sender's desktop entry, without ".desktop"
    QString title;
    QString subtitle;
};

// The desktop's notification service: whether it can show anything at all, and posting.
// Answers arrive later on the main thread, never inside the call.
class NotificationCenter {
public:
    // `reachable` false comes with a readable reason.
    using AuthorizationHandler = std::function<void(bool reachable, const QString& error)>;
    // An empty error means the server took the notification.
    using CompletionHandler = std::function<void(const QString& error)>;

    virtual ~NotificationCenter() = default;

    virtual void requestAuthorization(AuthorizationHandler done) = 0;
    virtual void add(const NotificationRequest& request, CompletionHandler done) = 0;
};

}  // namespace klosia
