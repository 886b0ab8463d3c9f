#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QUuid>

#include <set>

#include "core/AppInfo.h"
#include "fakes/FakeNotificationCenter.h"
#include "fakes/FakeNotificationSettings.h"
#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "services/UserNotifications.h"
#include "support/LogCapture.h"

using namespace klosia;
using namespace std::chrono_literals;

namespace {

class UserNotificationsTest : public ::testing::Test {
protected:
    std::vector<std::string> errorLines() const {
        std::vector<std::string> out;
        for (const std::string& line : capture.lines()) {
            if (line.starts_with(Vezizur::mark(VezizurLevel::error))) {
                out.push_back(line);
            }
        }
        return out;
    }
    QPushButton* alertButton(const QString& text) const {
        QMessageBox* box = notifications.notificationsOffAlert();
        if (box == nullptr) {
            return nullptr;
        }
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == text) {
                return qobject_cast<QPushButton*>(button);
            }
        }
        return nullptr;
    }
    static int visibleMessageBoxes() {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            count += (qobject_cast<QMessageBox*>(widget) != nullptr && widget->isVisible()) ? 1 : 0;
        }
        return count;
    }

    test::LogCapture capture;
    test::ManualDispatcher dispatcher;
    test::FakeNotificationCenter center;
    test::FakeNotificationSettings settings;
    test::RecordingDefaults defaults;
    UserNotifications notifications{center, settings, dispatcher, defaults};
};

TEST_F(UserNotificationsTest, EachCallPostsItsOwnRequestOneSecondLater) {
    notifications.showNotification(QStringLiteral("Quit 2 apps"), QStringLiteral("Klosia"));
    notifications.showNotification(QStringLiteral("Quit 2 apps"), QStringLiteral("Klosia"));
    EXPECT_EQ(capture.matching("show notification: title = Quit 2 apps, subtitle = Klosia").size(),
              2U);

    dispatcher.advance(999ms);
    EXPECT_TRUE(center.requests.empty()) << "posted before the second was over";
    dispatcher.advance(1ms);
    ASSERT_EQ(center.requests.size(), 2U);

    std::set<QString> identifiers;
    for (const NotificationRequest& request : center.requests) {
        EXPECT_FALSE(QUuid::fromString(request.identifier).isNull())
            << request.identifier.toStdString();
        identifiers.insert(request.identifier);
        EXPECT_EQ(request.title, QStringLiteral("Quit 2 apps"));
        EXPECT_EQ(request.subtitle, QStringLiteral("Klosia"));
        EXPECT_EQ(request.appName, QStringLiteral("Klosia"));
        EXPECT_EQ(request.iconName, QLatin1String(appinfo::kApplicationId));
        EXPECT_EQ(request.desktopEntry, QLatin1String(appinfo::kApplicationId));
    }
    EXPECT_EQ(identifiers.size(), 2U) << "two requests share an identifier";
    EXPECT_TRUE(errorLines().empty());

    center.addError = QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown: nobody home");
    notifications.showNotification(QStringLiteral("t"), QStringLiteral("s"));
    dispatcher.advance(1s);
    const auto errors = errorLines();
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_NE(errors.front().find("nobody home"), std::string::npos) << errors.front();
}

TEST_F(UserNotificationsTest, AReachableServerNeedsNoAlert) {
    notifications.checkAuthorization();
    dispatcher.runUntilIdle();
    EXPECT_EQ(center.authorizationRequests, 1);
    EXPECT_EQ(notifications.notificationsOffAlert(), nullptr);
    EXPECT_TRUE(errorLines().empty());
}

TEST_F(UserNotificationsTest, NoServerShowsTheAlertAndLeaveThemOffIsRemembered) {
    center.reachable = false;
    center.unreachableReason = QStringLiteral("org.freedesktop.Notifications has no owner");
    notifications.checkAuthorization();
    ASSERT_EQ(errorLines().size(), 1U);
    EXPECT_NE(errorLines().front().find("has no owner"), std::string::npos);
    EXPECT_EQ(notifications.notificationsOffAlert(), nullptr)
        << "the alert waits for the main queue";

    dispatcher.runUntilIdle();
    QMessageBox* box = notifications.notificationsOffAlert();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    EXPECT_EQ(box->text(), QStringLiteral("Notifications for this app are turned off."));
    ASSERT_EQ(box->buttons().size(), 2);
    QPushButton* leave = alertButton(QStringLiteral("Leave them off"));
    QPushButton* update = alertButton(QStringLiteral("Update these settings"));
    ASSERT_NE(leave, nullptr);
    ASSERT_NE(update, nullptr);
    EXPECT_LT(leave->mapTo(box, QPoint()).x(), update->mapTo(box, QPoint()).x())
        << "\"Leave them off\" comes first";
    EXPECT_EQ(box->defaultButton(), leave);

    // A second check while it is open does not stack a second alert.
    notifications.checkAuthorization();
    dispatcher.runUntilIdle();
    EXPECT_EQ(visibleMessageBoxes(), 1);

    const int synchronizations = defaults.synchronizations;
    leave->click();
    EXPECT_FALSE(box->isVisible());
    EXPECT_EQ(defaults.boolean(UserNotifications::kNotificationsDontShow), true);
    EXPECT_GT(defaults.synchronizations, synchronizations);
    EXPECT_EQ(settings.opened, 0);

    // Another run over the same defaults logs the failure but never asks again.
    capture.clear();
    UserNotifications nextRun(center, settings, dispatcher, defaults);
    nextRun.checkAuthorization();
    dispatcher.runUntilIdle();
    EXPECT_EQ(errorLines().size(), 1U);
    EXPECT_EQ(nextRun.notificationsOffAlert(), nullptr);
    EXPECT_EQ(visibleMessageBoxes(), 0);
}

TEST_F(UserNotificationsTest, UpdateTheseSettingsOpensThemAndAsksAgainNextTime) {
    center.reachable = false;
    notifications.checkAuthorization();
    dispatcher.runUntilIdle();
    QPushButton* update = alertButton(QStringLiteral("Update these settings"));
    ASSERT_NE(update, nullptr);
    update->click();
    EXPECT_EQ(settings.opened, 1);
    EXPECT_FALSE(defaults.object(UserNotifications::kNotificationsDontShow).has_value());
    QMessageBox* closed = notifications.notificationsOffAlert();
    ASSERT_NE(closed, nullptr);
    EXPECT_FALSE(closed->isVisible());

    // A flag stored as something other than a Boolean is no answer of the user's.
    defaults.set(UserNotifications::kNotificationsDontShow, QStringLiteral("true"));
    notifications.checkAuthorization();
    dispatcher.runUntilIdle();
    EXPECT_EQ(visibleMessageBoxes(), 1);
}

TEST_F(UserNotificationsTest, SettingsThatCannotBeSavedAreToldOnce) {
    notifications.settingsCannotBeSaved(QStringLiteral("/home/u/.config/org.klosia.Klosia.json"));
    notifications.settingsCannotBeSaved(QStringLiteral("/home/u/.config/org.klosia.Klosia.json"));
    dispatcher.advance(1s);
    ASSERT_EQ(center.requests.size(), 1U);
    EXPECT_FALSE(center.requests.front().title.isEmpty());
    EXPECT_TRUE(center.requests.front().subtitle.contains(
        QStringLiteral("/home/u/.config/org.klosia.Klosia.json")));
}

}  // namespace
