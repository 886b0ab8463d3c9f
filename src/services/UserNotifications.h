#pragma once

#include <QCoreApplication>
#include <QLatin1String>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <chrono>
#include <memory>

namespace klosia {

class Dispatcher;
class NotificationCenter;
class NotificationSettings;
class UserDefaults;

// The program's user notifications: posting one, the check at launch that a notification
// server can be reached (with the notifications-off alert when none can), and the one notice
// that the settings cannot be saved. Lives on the main thread for the whole run.
class UserNotifications {
    Q_DECLARE_TR_FUNCTIONS(klosia::UserNotifications)

public:
    // A plain Boolean in the user defaults: the user chose to leave notifications off, so the
    // alert is never shown again.
    static constexpr QLatin1String kNotificationsDontShow{"kUserdefaultsNotificationsDontShow"};
    // A notification is shown this long after it was asked for.
    static constexpr std::chrono::seconds kDelay{1};

    UserNotifications(NotificationCenter& center, NotificationSettings& settings,
                      Dispatcher& dispatcher, UserDefaults& defaults);
    ~UserNotifications();
    UserNotifications(const UserNotifications&) = delete;
    UserNotifications& operator=(const UserNotifications&) = delete;

    // Posts a notification with its own new identifier, kDelay from now. Failures are logged.
    void showNotification(const QString& title, const QString& subtitle);

    // The launch check: when no notification server can be reached, logs why and, unless the
    // user asked never to be told again, shows the notifications-off alert.
    void checkAuthorization();

    // Tells the user, once per run, that changed settings cannot be written; `location` is the
    // settings file when known.
    void settingsCannotBeSaved(const QString& location = QString());

    // The notifications-off alert while it is open.
    QMessageBox* notificationsOffAlert() const { return alert_; }

private:
    void showNotificationsOffAlert();
    void leaveThemOff();
    void updateTheseSettings();
    bool dontShow() const;

    NotificationCenter& center_;
    NotificationSettings& settings_;
    Dispatcher& dispatcher_;
    UserDefaults& defaults_;
    // Work queued on the dispatcher and answers of the centre hold a weak reference: they are
    // dropped once this object is gone.
    std::shared_ptr<UserNotifications*> self_;
    QPointer<QMessageBox> alert_;
    bool settingsFailureTold_ = false;
};

}  // namespace klosia
