// Start-up and the status icon's rules, on fakes and virtual time: the launch sequence, the
// per-version counters, where and whether the menu opens, and a desktop without a tray.
#include <gtest/gtest.h>

#include <QAction>
#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "app/AppDelegate.h"
#include "core/NotificationBus.h"
#include "fakes/FakeNotificationCenter.h"
#include "fakes/FakeNotificationSettings.h"
#include "fakes/FakeReleaseFeed.h"
#include "fakes/FakeStatusItem.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualDispatcher.h"
#include "menu/MenuWindowController.h"
#include "menu/SettingsMenu.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/TelemetryClient.h"
#include "preferences/AlertWindow.h"
#include "preferences/InfoAlertViewController.h"
#include "preferences/InfoAlertWindowController.h"
#include "preferences/SettingsAlertWindowController.h"
#include "services/UserNotifications.h"
#include "settings/Preferences.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using namespace std::chrono_literals;

struct RecordingTelemetry final : TelemetryClient {
    void start(const QString& secret, unsigned services) override {
        startedWith = secret;
        startedServices = services;
    }
    void setLogLevel(LogLevel level) override { logLevel = level; }
    void setCountryCode(const QString& code) override { country = code; }
    void setCrashesEnabled(bool enabled) override { crashes = enabled; }

    QString startedWith;
    unsigned startedServices = 0;
    LogLevel logLevel = LogLevel::verbose;
    QString country;
    bool crashes = false;
};

class AppDelegateTest : public ::testing::Test {
public:
    AppDelegateTest() : bus(dispatcher), preferences(defaults) {
        NotificationBus::setDefaultCenter(&bus);
        Preferences::setShared(&preferences);
        setStandardUserDefaults(&defaults);
    }
    ~AppDelegateTest() override {
        delegate.reset();
        setStandardUserDefaults(nullptr);
        Preferences::setShared(nullptr);
        NotificationBus::setDefaultCenter(nullptr);
    }
    AppDelegateTest(const AppDelegateTest&) = delete;
    AppDelegateTest& operator=(const AppDelegateTest&) = delete;

protected:
    AppDelegate& launch(const QString& version = QStringLiteral("2.1")) {
        delegate = std::make_unique<AppDelegate>(
            AppDelegate::Services{dispatcher, dispatcher, workspace, defaults, telemetry, nullptr,
                                  nullptr, statusItem, notifications, feed, version});
        delegate->applicationDidFinishLaunching();
        return *delegate;
    }
    MenuWindowController& menu() { return *delegate->menuWindowController(); }

    test::LogCapture log;
    test::ManualDispatcher dispatcher;
    NotificationBus bus;
    MemoryUserDefaults defaults;
    Preferences preferences;
    test::FakeWorkspace workspace;
    RecordingTelemetry telemetry;
    test::FakeStatusItem statusItem;
    test::FakeNotificationCenter center;
    test::FakeNotificationSettings notificationSettings;
    UserNotifications notifications{center, notificationSettings, dispatcher, defaults};
    test::FakeReleaseFeed feed;
    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, LaunchStartsTelemetryLocallyAndPutsTheIconInPlace) {
    launch();
    EXPECT_EQ(telemetry.startedWith.size(), 36) << "a GUID string";
    EXPECT_EQ(telemetry.startedServices, TelemetryClient::analytics | TelemetryClient::crashes);
    EXPECT_EQ(telemetry.logLevel, TelemetryClient::LogLevel::none);
    EXPECT_TRUE(telemetry.crashes);
    if (QLocale::system().territory() != QLocale::AnyTerritory) {
        EXPECT_EQ(telemetry.country, QLocale::territoryToCode(QLocale::system().territory()));
        EXPECT_EQ(log.matching("register country code = " + telemetry.country.toStdString()).size(),
                  1U);
    }
    EXPECT_FALSE(statusItem.image.isNull()) << "the status-icon artwork is compiled in";
    // A secondary press on the icon offers the settings menu's four items.
    auto* settings = qobject_cast<SettingsMenu*>(statusItem.contextMenu);
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(settings, delegate->statusMenu());
    QStringList items;
    for (const QAction* item : settings->actions()) {
        items << item->text();
    }
    EXPECT_EQ(items, (QStringList{"View background apps", "Preferences", "Help", "Quit"}));
    EXPECT_EQ(center.authorizationRequests, 1);
    EXPECT_EQ(feed.fetches, 1);
    ASSERT_NE(delegate->inactiveTimer(), nullptr);
    EXPECT_TRUE(delegate->inactiveTimer()->isActive());
    EXPECT_EQ(delegate->inactiveTimer()->interval(), 1000);
    delegate.reset();
    EXPECT_EQ(statusItem.contextMenu, nullptr) << "the icon's own menu comes back";
}

TEST_F(AppDelegateTest, SettingsAlertOnceForEachNewVersion) {
    launch(QStringLiteral("2.1"));
    SettingsAlertWindowController* alert = delegate->settingsAlertWindowController();
    ASSERT_NE(alert, nullptr);
    dispatcher.advance(0.9s);
    EXPECT_FALSE(alert->window()->isVisible()) << "a second after launch, not at once";
    dispatcher.advance(0.2s);
    EXPECT_TRUE(alert->window()->isVisible());
    EXPECT_EQ(log.matching("settings will open").size(), 1U);
    EXPECT_TRUE(test::waitUntil([&] { return alert->isOpen(); })) << "its fade-in ends";
    EXPECT_EQ(defaults.integer(QStringLiteral("kUserdefaultsFirstRunCount_2.1")), 1);
    EXPECT_EQ(log.matching("kUserdefaultsFirstRunCount count: 0").size(), 1U);

    launch(QStringLiteral("2.1"));
    dispatcher.advance(1.1s);
    EXPECT_FALSE(delegate->settingsAlertWindowController()->window()->isVisible());
    EXPECT_EQ(log.matching("settings will open").size(), 1U);
    EXPECT_EQ(log.matching("kUserdefaultsFirstRunCount count: 1").size(), 1U);
    EXPECT_EQ(defaults.integer(QStringLiteral("kUserdefaultsFirstRunCount_2.1")), 2);

    launch(QString());  // no version string reads as "1.0"
    dispatcher.advance(1.1s);
    EXPECT_TRUE(delegate->settingsAlertWindowController()->window()->isVisible());
    EXPECT_EQ(log.matching("settings will open").size(), 2U);
    EXPECT_EQ(defaults.integer(QStringLiteral("kUserdefaultsFirstRunCount_1.0")), 1);
}

TEST_F(AppDelegateTest, BackgroundAppsAlertFollowsTheFirstForceQuitOfAVersion) {
    launch();
    InfoAlertWindowController* alert = delegate->infoAlertWindowController();
    ASSERT_NE(alert, nullptr);
    dispatcher.advance(1.1s);
    notify(names::appWillForceQuit);
    dispatcher.advance(1.9s);
    EXPECT_FALSE(alert->window()->isVisible()) << "two seconds after the force quit";
    dispatcher.advance(0.2s);
    ASSERT_TRUE(alert->window()->isVisible());
    EXPECT_EQ(log.matching("info will open").size(), 1U);
    const InfoAlertViewController& content = *alert->infoAlertViewController();
    EXPECT_EQ(content.title(), QStringLiteral("Hey Davezazovu Riveriz 🕵️♀️"));
    EXPECT_EQ(content.message(),
              QStringLiteral("FYI, some background apps will immediately restart after quitting "
                             "them. It’s sorcery beyond our control."));
    EXPECT_EQ(content.buttonTitle(), QStringLiteral("I can handle it!"));
    EXPECT_EQ(log.matching("appWillForceQuitNotification count: 0").size(), 1U);
    ASSERT_TRUE(test::waitUntil([&] { return alert->isOpen(); }));

    // The next force quit of the version closes the alert instead.
    notify(names::appWillForceQuit);
    dispatcher.advance(3s);
    EXPECT_EQ(log.matching("info will open").size(), 1U);
    EXPECT_EQ(log.matching("info will close").size(), 1U);
    EXPECT_TRUE(test::waitUntil([&] { return !alert->window()->isVisible(); }));
    EXPECT_EQ(defaults.integer(QStringLiteral("kUserdefaultsForceQuitNotificationCount_2.1")), 2);
}

TEST_F(AppDelegateTest, UpdateCheckAtLaunchSpeaksOnlyOfANewerVersion) {
    launch(QStringLiteral("1.4"));
    ASSERT_EQ(feed.fetches, 1);
    ASSERT_TRUE(feed.answerRelease(QStringLiteral("1.4.0")));
    dispatcher.advance(2s);
    EXPECT_TRUE(center.requests.empty()) << "up to date: nothing to say";

    launch(QStringLiteral("1.4"));
    ASSERT_TRUE(feed.answerError(QStringLiteral("connection refused")));
    dispatcher.advance(2s);
    EXPECT_TRUE(center.requests.empty()) << "a failure is only logged";
    EXPECT_EQ(log.matching("update check failed: connection refused").size(), 1U);

    launch(QStringLiteral("1.4"));
    ASSERT_TRUE(feed.answerRelease(QStringLiteral("1.10"), QStringLiteral("Faster."),
                                   QUrl(QStringLiteral("https://example.org/1.10"))));
    dispatcher.advance(2s);
    ASSERT_EQ(center.requests.size(), 1U);
    EXPECT_EQ(center.requests[0].title, QStringLiteral("Klosia 1.10 is available"));
    EXPECT_TRUE(center.requests[0].subtitle.contains(QStringLiteral("https://example.org/1.10")))
        << center.requests[0].subtitle.toStdString();
    EXPECT_TRUE(center.requests[0].subtitle.contains(QStringLiteral("1.4")));

    feed.enabled = false;
    launch(QStringLiteral("1.4"));
    EXPECT_EQ(feed.fetches, 3) << "no feed configured: no check";
}

TEST_F(AppDelegateTest, PressOpensTheMenuAtTheIconAndGivesUpWhenTheIconIsNeverOnScreen) {
    launch();
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    QCursor::setPos(screen->geometry().center());

    // The icon lies off every screen (a panel still moving in): retried, then given up.
    statusItem.geometry = QRect(screen->geometry().right() + 100, 0, 22, 22);
    statusItem.press();
    dispatcher.advance(5s);
    EXPECT_EQ(log.matching("perform menu after").size(),
              static_cast<std::size_t>(AppDelegate::kMenuRetryLimit));
    EXPECT_EQ(log.matching("giving up").size(), 1U);
    EXPECT_EQ(menu().phase(), MenuWindowController::Phase::closed);
    EXPECT_FALSE(statusItem.highlighted);

    // On screen: the menu opens centred on the icon.
    statusItem.geometry = QRect(screen->geometry().center().x() - 11, 0, 22, 22);
    statusItem.press();
    EXPECT_NE(menu().phase(), MenuWindowController::Phase::closed);
    EXPECT_EQ(menu().statusPoint(), statusItem.geometry.center());
    EXPECT_TRUE(statusItem.highlighted);

    // A second press while it still fades in (a shortcut pressed twice, a command run twice)
    // closes it once open, instead of starting the fade again.
    ASSERT_EQ(menu().phase(), MenuWindowController::Phase::opening);
    statusItem.press();
    EXPECT_FALSE(statusItem.highlighted);
    EXPECT_TRUE(test::waitUntil([&] {
        return menu().phase() == MenuWindowController::Phase::closed;
    })) << "the menu stayed open";
}

TEST_F(AppDelegateTest, WithoutATrayTheUserIsToldOnceAfterThirtySeconds) {
    statusItem.inTray = false;
    launch();
    dispatcher.advance(29s);
    EXPECT_TRUE(center.requests.empty());
    dispatcher.advance(2s + UserNotifications::kDelay);
    ASSERT_EQ(center.requests.size(), 1U);
    EXPECT_EQ(center.requests[0].title, QStringLiteral("Klosia is running without an icon"));

    // A tray that came in time: nothing to say.
    center.requests.clear();
    statusItem.inTray = false;
    launch();
    dispatcher.advance(10s);
    statusItem.trayAppears();
    dispatcher.advance(30s);
    EXPECT_TRUE(center.requests.empty());
}

TEST_F(AppDelegateTest, WorkspaceChangesArePostedOnTheBus) {
    launch();
    int launches = 0;
    int terminations = 0;
    QObject observer;
    bus.observe(
        &observer, [&](const Notification&) { ++launches; }, names::didLaunchApplication);
    bus.observe(
        &observer, [&](const Notification&) { ++terminations; }, names::didTerminateApplication);
    const auto app = test::FakeRunningApplication::make(QStringLiteral("A"), QStringLiteral("a"));
    workspace.launch(app);
    workspace.quit(app);
    EXPECT_EQ(launches + terminations, 0) << "delivered later, on the main queue";
    dispatcher.runUntilIdle();
    EXPECT_EQ(launches, 1);
    EXPECT_EQ(terminations, 1);
    EXPECT_EQ(log.matching("workspace did launched").size(), 1U);
    EXPECT_EQ(log.matching("workspace did terminate").size(), 1U);
}

}  // namespace
}  // namespace klosia
