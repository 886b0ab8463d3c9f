#include "services/UserNotifications.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QUuid>

#include "core/AppInfo.h"
#include "core/Dispatcher.h"
#include "log/Vezizur.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationSettings.h"
#include "platform/UserDefaults.h"

namespace klosia {

namespace {

constexpr const char* kContext = "klosia::UserNotifications";
// The log names the alert by its untranslated text.
constexpr const char* kAlertMessage =
    QT_TRANSLATE_NOOP("klosia::UserNotifications", "Notifications for this app are turned off.");

}  // namespace

UserNotifications::UserNotifications(NotificationCenter& center, NotificationSettings& settings,
                                     Dispatcher& dispatcher, UserDefaults& defaults)
    : center_(center),
      settings_(settings),
      dispatcher_(dispatcher),
      defaults_(defaults),
      self_(std::make_shared<UserNotifications*>(this)) {}

UserNotifications::~UserNotifications() {
    delete alert_.data();
}

void UserNotifications::showNotification(const QString& title, const QString& subtitle) {
    logger.log("show notification: title = " + title + ", subtitle = " + subtitle,
               VezizurLevel::info);
    NotificationRequest request;
    request.identifier = QUuid::createUuid().toString(QUuid::WithoutBraces);
    request.appName = QLatin1String(appinfo::kName);
    request.iconName = QLatin1String(appinfo::kApplicationId);
    request.desktopEntry = QLatin1String(appinfo::kApplicationId);
    request.title = title;
    request.subtitle = subtitle;
    const std::weak_ptr<UserNotifications*> weak = self_;
    dispatcher_.mainAfter(kDelay, [weak, request = std::move(request)] {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        (*self)->center_.add(request, [](const QString& error) {
            if (!error.isEmpty()) {
                logger.log(error, VezizurLevel::error);
            }
        });
    });
}

void UserNotifications::checkAuthorization() {
    const std::weak_ptr<UserNotifications*> weak = self_;
    center_.requestAuthorization([weak](bool reachable, const QString& error) {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        if (reachable) {
            logger.log("notifications: a notification server is reachable", VezizurLevel::info);
            return;
        }
        logger.log(error, VezizurLevel::error);
        UserNotifications* notifications = *self;
        if (notifications->dontShow()) {
            return;
        }
        notifications->dispatcher_.main([weak] {
            if (const auto again = weak.lock()) {
                (*again)->showNotificationsOffAlert();
            }
        });
    });
}

bool UserNotifications::dontShow() const {
    // Any other stored type is not the user's answer: the alert shows.
    return defaults_.boolean(kNotificationsDontShow).value_or(false);
}

void UserNotifications::showNotificationsOffAlert() {
    // A closed alert may linger until its deferred deletion: only an open one counts.
    if (QMessageBox* open = alert_.data(); open != nullptr && open->isVisible()) {
        open->raise();
        open->activateWindow();
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Critical, QLatin1String(appinfo::kName),
                                QCoreApplication::translate(kContext, kAlertMessage),
                                QMessageBox::NoButton);
    // One role for both keeps the buttons in the order they are added on every desktop's
    // button layout; with no reject button, Escape and the window's close button leave the
    // choice open rather than pick one.
    QPushButton* leave = box->addButton(QCoreApplication::translate(kContext, "Leave them off"),
                                        QMessageBox::ActionRole);
    QPushButton* update = box->addButton(
        QCoreApplication::translate(kContext, "Update these settings"), QMessageBox::ActionRole);
    box->setDefaultButton(leave);
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    const std::weak_ptr<UserNotifications*> weak = self_;
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [weak, leave, update](QAbstractButton* button) {
                         const auto self = weak.lock();
                         if (!self) {
                             return;
                         }
                         if (button == leave) {
                             (*self)->leaveThemOff();
                         } else if (button == update) {
                             (*self)->updateTheseSettings();
                         }
                     });
    alert_ = box;
    logger.log("show alert: " + QLatin1String(kAlertMessage), VezizurLevel::info);
    // Shown without a nested event loop: the tray, the bus and the timers keep running.
    box->show();
    box->raise();
    box->activateWindow();
}

void UserNotifications::leaveThemOff() {
    logger.log("notifications: leave them off", VezizurLevel::info);
    defaults_.set(kNotificationsDontShow, true);
    if (!defaults_.synchronize()) {
        logger.log("notifications: the choice to leave them off could not be saved",
                   VezizurLevel::error);
    }
}

void UserNotifications::updateTheseSettings() {
    logger.log("notifications: update these settings", VezizurLevel::info);
    settings_.open();
}

void UserNotifications::settingsCannotBeSaved(const QString& location) {
    if (settingsFailureTold_) {
        return;
    }
    settingsFailureTold_ = true;
    const QString subtitle =
        location.isEmpty()
            ? tr("Your changes last only until Klosia quits.")
            : tr("Your changes last only until Klosia quits. Check that %1 can be written.")
                  .arg(location);
    showNotification(tr("Klosia cannot save its settings"), subtitle);
}

}  // namespace klosia
