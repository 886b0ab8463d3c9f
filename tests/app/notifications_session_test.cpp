// User notifications against the real desktop services of the virtual session: dunst over
// D-Bus, and, in a session started with --no-notifications, a bus where no server can be
// reached, so that the notifications-off alert shows on the X server and is answered with
// real pointer clicks.
#include <gtest/gtest.h>
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUuid>
#include <QWindow>

#include <csignal>
#include <optional>
#include <set>

#include "core/QtDispatcher.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/linux/DesktopNotificationSettings.h"
#include "platform/linux/FileUserDefaults.h"
#include "platform/linux/FreedesktopNotifications.h"
#include "services/UserNotifications.h"
#include "support/DunstHistory.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

using namespace klosia;
using test::waitUntil;

namespace {

bool sessionHasNotifications() {
    return qEnvironmentVariable("KLOSIA_SESSION_NOTIFICATIONS") == QLatin1String("1");
}

bool sessionHasNoNotifications() {
    return qEnvironmentVariable("KLOSIA_SESSION_NOTIFICATIONS") == QLatin1String("0");
}

// Runs what the main queue holds so far.
void drainMainQueue(Dispatcher& dispatcher) {
    bool ran = false;
    dispatcher.main([&ran] { ran = true; });
    EXPECT_TRUE(waitUntil([&ran] { return ran; }));
}

TEST(SessionUserNotifications, ReachDunstWithTheirTitleAndSubtitle) {
    if (!sessionHasNotifications()) {
        GTEST_SKIP() << "needs the session's notification daemon";
    }
    test::LogCapture capture;
    QtDispatcher dispatcher;
    FreedesktopNotifications center;
    DesktopNotificationSettings settings;
    MemoryUserDefaults defaults;
    UserNotifications notifications(center, settings, dispatcher, defaults);

    notifications.checkAuthorization();
    ASSERT_TRUE(waitUntil([&] { return !capture.matching("server is reachable").empty(); }));

    // Two posts in a row are two notifications (different subtitles: dunst would stack equal
    // ones into one); markup characters in a subtitle (application names) show as written.
    const QString title =
        QStringLiteral("Quit 2 apps %1").arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
    const QStringList subtitles{QStringLiteral("Tom & Jerry <beta>, xclock"),
                                QStringLiteral("xlogo")};
    const QStringList bodies{QStringLiteral("Tom &amp; Jerry &lt;beta&gt;, xclock"),
                             QStringLiteral("xlogo")};
    for (const QString& subtitle : subtitles) {
        notifications.showNotification(title, subtitle);
    }

    std::vector<test::DunstHistory::Entry> ours;
    const bool both = waitUntil([&] {
        test::DunstHistory::closeAll();
        ours.clear();
        for (const auto& entry : test::DunstHistory::entries()) {
            if (entry.summary == title) {
                ours.push_back(entry);
            }
        }
        return ours.size() >= 2;
    });
    ASSERT_TRUE(both) << ours.size() << " of 2 notifications titled " << title.toStdString();
    EXPECT_EQ(ours.size(), 2U);
    std::set<int> ids;
    QStringList seenBodies;
    for (const auto& entry : ours) {
        ids.insert(entry.id);
        seenBodies << entry.body;
        EXPECT_EQ(entry.appName, QStringLiteral("Klosia"));
        // The session's dunstrc renders "<b>summary</b>\nbody": the body shows the subtitle.
        EXPECT_EQ(entry.message,
                  QStringLiteral("<b>%1</b>\n%2").arg(title.toHtmlEscaped(), entry.body));
    }
    seenBodies.sort();
    QStringList expectedBodies = bodies;
    expectedBodies.sort();
    EXPECT_EQ(seenBodies, expectedBodies);
    EXPECT_EQ(ids.size(), 2U);
    for (const std::string& line : capture.lines()) {
        EXPECT_FALSE(line.starts_with(Vezizur::mark(VezizurLevel::error))) << line;
    }
}

QMessageBox* visibleAlert() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box != nullptr && box->isVisible() && box->windowHandle() != nullptr &&
            box->windowHandle()->isExposed()) {
            return box;
        }
    }
    return nullptr;
}

QPushButton* buttonTitled(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text) {
            return qobject_cast<QPushButton*>(button);
        }
    }
    return nullptr;
}

// A real press and release of the first pointer button on the middle of `button`, through the
// X server (XTEST), in coordinates of the button's own window.
void clickWithXdotool(QPushButton* button) {
    QWidget* window = button->window();
    const QPoint centre = button->mapTo(window, button->rect().center());
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"),
                  {QStringLiteral("mousemove"), QStringLiteral("--window"),
                   QString::number(window->winId()), QString::number(centre.x()),
                   QString::number(centre.y()), QStringLiteral("click"), QStringLiteral("1")});
    ASSERT_TRUE(xdotool.waitForFinished(10000));
    ASSERT_EQ(xdotool.exitCode(), 0) << xdotool.readAllStandardError().toStdString();
}

TEST(SessionNotificationsOff, TheAlertAppearsAndLeaveThemOffIsRemembered) {
    if (!sessionHasNoNotifications()) {
        GTEST_SKIP() << "needs a session started with --no-notifications";
    }
    test::LogCapture capture;
    QtDispatcher dispatcher;
    FreedesktopNotifications center;
    DesktopNotificationSettings settings;  // openbox: no settings page is known
    const QString path = QDir(qEnvironmentVariable("XDG_CONFIG_HOME"))
                             .filePath(QStringLiteral("notifications-off-test.json"));
    std::optional<FileUserDefaults> defaults;
    defaults.emplace(path);
    std::optional<UserNotifications> notifications;
    notifications.emplace(center, settings, dispatcher, *defaults);

    // First answer: "Update these settings". There is nothing to open here, and the alert
    // comes back at the next check.
    notifications->checkAuthorization();
    ASSERT_TRUE(waitUntil([] { return visibleAlert() != nullptr; })) << "no alert appeared";
    QMessageBox* box = visibleAlert();
    EXPECT_EQ(box->text(), QStringLiteral("Notifications for this app are turned off."));
    EXPECT_TRUE(box->isModal());
    const auto errors = capture.matching("org.freedesktop.Notifications has no owner");
    ASSERT_EQ(errors.size(), 1U);
    EXPECT_TRUE(errors.front().starts_with(Vezizur::mark(VezizurLevel::error)));
    QPushButton* leave = buttonTitled(box, QStringLiteral("Leave them off"));
    QPushButton* update = buttonTitled(box, QStringLiteral("Update these settings"));
    ASSERT_NE(leave, nullptr);
    ASSERT_NE(update, nullptr);
    EXPECT_LT(leave->mapToGlobal(QPoint()).x(), update->mapToGlobal(QPoint()).x());

    clickWithXdotool(update);
    EXPECT_TRUE(
        waitUntil([&] { return !capture.matching("no notification settings are known").empty(); }));
    EXPECT_TRUE(waitUntil([] { return visibleAlert() == nullptr; }));
    EXPECT_FALSE(defaults->object(UserNotifications::kNotificationsDontShow).has_value());

    // Second answer: "Leave them off", written to the settings file.
    notifications->checkAuthorization();
    ASSERT_TRUE(waitUntil([] { return visibleAlert() != nullptr; }));
    leave = buttonTitled(visibleAlert(), QStringLiteral("Leave them off"));
    ASSERT_NE(leave, nullptr);
    clickWithXdotool(leave);
    EXPECT_TRUE(waitUntil([] { return visibleAlert() == nullptr; }));
    EXPECT_EQ(FileUserDefaults(path).boolean(UserNotifications::kNotificationsDontShow), true);

    // The next start reads the file and does not ask again.
    notifications.reset();
    defaults.emplace(path);
    notifications.emplace(center, settings, dispatcher, *defaults);
    capture.clear();
    notifications->checkAuthorization();
    ASSERT_TRUE(waitUntil([&] { return !capture.matching("has no owner").empty(); }));
    drainMainQueue(dispatcher);
    EXPECT_EQ(visibleAlert(), nullptr);
    EXPECT_EQ(notifications->notificationsOffAlert(), nullptr);
}

TEST(SessionNotificationsOff, AServerTheBusCanStartCountsAsReachable) {
    if (!sessionHasNoNotifications()) {
        GTEST_SKIP() << "needs a session started with --no-notifications";
    }
    const QString dunst = QStandardPaths::findExecutable(QStringLiteral("dunst"));
    ASSERT_FALSE(dunst.isEmpty());
    const QString serviceDir =
        QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath(QStringLiteral("dbus-1/services"));
    QFile service(
        QDir(serviceDir).filePath(QStringLiteral("org.freedesktop.Notifications.service")));
    ASSERT_TRUE(service.open(QIODevice::WriteOnly));
    service.write("[D-BUS Service]\nName=org.freedesktop.Notifications\nExec=" +
                  QFile::encodeName(dunst) + "\n");
    service.close();
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto reload = [&bus] {
        const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReloadConfig")));
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    };
    reload();
    const QString name = QStringLiteral("org.freedesktop.Notifications");
    ASSERT_FALSE(bus.interface()->isServiceRegistered(name).value());

    FreedesktopNotifications center;
    std::optional<std::pair<bool, QString>> answer;
    center.requestAuthorization(
        [&answer](bool reachable, const QString& error) { answer.emplace(reachable, error); });
    EXPECT_TRUE(waitUntil([&answer] { return answer.has_value(); }, std::chrono::seconds(40)));

    // The bus started the server: stop it by its pid, and leave the bus as it was.
    const uint pid = bus.interface()->servicePid(name).value();
    if (pid > 1) {
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        EXPECT_TRUE(waitUntil([&] { return !bus.interface()->isServiceRegistered(name).value(); }));
    }
    service.remove();
    reload();

    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->first) << answer->second.toStdString();
    EXPECT_GT(pid, 1U) << "nothing owns the name after the start";
}

}  // namespace
