// A press on a tip that points to the preferences, in the program's own delegate on the real X
// server: the preferences window comes up in front, the menu (a popup holding the keyboard)
// gives way to it, and the window is then the active one and takes the keys. A tip without
// action leaves the open menu as it is.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QScreen>

#include <unistd.h>
#include <cstdio>

#include "app/AppDelegate.h"
#include "core/AppInfo.h"
#include "core/Clock.h"
#include "core/NotificationBus.h"
#include "core/QtDispatcher.h"
#include "fakes/FakeNotificationCenter.h"
#include "fakes/FakeNotificationSettings.h"
#include "fakes/FakeReleaseFeed.h"
#include "fakes/FakeRunningApplication.h"
#include "fakes/FakeStatusItem.h"
#include "fakes/FakeWorkspace.h"
#include "menu/MenuViewController.h"
#include "menu/MenuWindow.h"
#include "menu/MenuWindowController.h"
#include "menu/RotateLabel.h"
#include "menu/RotateTip.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/linux/LocalTelemetry.h"
#include "preferences/PreferencesWindow.h"
#include "preferences/PreferencesWindowController.h"
#include "services/UserNotifications.h"
#include "settings/Preferences.h"
#include "support/Wait.h"
#include "support/session/DesktopDriver.h"

namespace klosia {
namespace {

using test::DesktopDriver;
using test::waitUntil;
using Phase = MenuWindowController::Phase;

class TipSession : public ::testing::Test {
public:
    TipSession() : bus(dispatcher), preferences(defaults) {
        NotificationBus::setDefaultCenter(&bus);
        Preferences::setShared(&preferences);
        setStandardUserDefaults(&defaults);
        // This version's first start is done: the settings alert stays away.
        defaults.set(
            QStringLiteral("kUserdefaultsFirstRunCount_") + QLatin1String(appinfo::kVersion),
            std::int64_t{1});
        workspace.setApplications(
            {test::FakeRunningApplication::make("Mail", "org.example.mail"),
             test::FakeRunningApplication::make("Notes", "org.example.notes")});
        // An icon at the top right, as a tray at the end of a top panel shows it.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        statusItem.geometry = QRect(screen.right() - 40, screen.top() + 2, 22, 22);
        delegate = std::make_unique<AppDelegate>(AppDelegate::Services{
            dispatcher, clock, workspace, defaults, telemetry, nullptr, nullptr, statusItem,
            notifications, feed, QLatin1String(appinfo::kVersion)});
        delegate->applicationDidFinishLaunching();
    }
    ~TipSession() override {
        delegate.reset();
        dispatcher.waitForBackground();
        setStandardUserDefaults(nullptr);
        Preferences::setShared(nullptr);
        NotificationBus::setDefaultCenter(nullptr);
    }
    TipSession(const TipSession&) = delete;
    TipSession& operator=(const TipSession&) = delete;

protected:
    QtDispatcher dispatcher;
    RealClock clock;
    NotificationBus bus;
    MemoryUserDefaults defaults;
    Preferences preferences;
    test::FakeWorkspace workspace;
    LocalTelemetry telemetry;
    test::FakeStatusItem statusItem;
    test::FakeNotificationCenter center;
    test::FakeNotificationSettings notificationSettings;
    UserNotifications notifications{center, notificationSettings, dispatcher, defaults};
    test::FakeReleaseFeed feed;
    std::unique_ptr<AppDelegate> delegate;
    DesktopDriver desktop;
};

}  // namespace

TEST_F(TipSession, APreferencesTipBringsTheWindowInFrontWithTheKeysAndOtherTipsDoNothing) {
    ASSERT_TRUE(desktop.isConnected());
    MenuWindowController& menu = *delegate->menuWindowController();
    PreferencesWindow& preferencesWindow = *delegate->preferencesWindowController()->window();
    delegate->performMenu();
    ASSERT_TRUE(waitUntil([&] { return menu.isOpen(); })) << "the menu did not open";

    // A tip without action leaves everything as it is.
    RotateLabel& label = *menu.menuViewController()->rotateLabel();
    ASSERT_TRUE(label.isVisible());
    label.setTip(RotateTip::tips()[8]);  // "Time to quit 🤘"
    ASSERT_TRUE(DesktopDriver::click(label.mapToGlobal(label.rect().center())));
    // The press has been handled once a key sent after it has.
    ASSERT_TRUE(DesktopDriver::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+b")}));
    ASSERT_TRUE(waitUntil([&] { return preferences.showBackgroundApps(); }));
    EXPECT_FALSE(preferencesWindow.isVisible());
    EXPECT_EQ(menu.phase(), Phase::open);

    label.setTip(RotateTip::tips()[2]);  // "Set a shortcut 👉"
    ASSERT_TRUE(DesktopDriver::click(label.mapToGlobal(label.rect().center())));
    ASSERT_TRUE(waitUntil([&] { return preferencesWindow.isVisible(); }))
        << "the preferences window did not open";
    ASSERT_TRUE(waitUntil([&] { return menu.phase() == Phase::closed; }))
        << "the menu gives way to the window";
    EXPECT_TRUE(waitUntil([&] { return QApplication::activeWindow() == &preferencesWindow; }));
    EXPECT_TRUE(waitUntil([&] { return desktop.activeWindowPid() == getpid(); }));
    const QRect shown = preferencesWindow.frameGeometry().adjusted(-8, -8, 8, 8);
    const QString directory = QStringLiteral(KLOSIA_ARTIFACT_DIR);
    QDir().mkpath(directory);
    const QString path = directory + QStringLiteral("/tip-opens-preferences.png");
    EXPECT_TRUE(QGuiApplication::primaryScreen()
                    ->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height())
                    .save(path, "PNG"));
    std::printf("screenshot: %s\n", qPrintable(path));
    ASSERT_TRUE(DesktopDriver::xdotool({QStringLiteral("key"), QStringLiteral("ctrl+Tab")}));
    EXPECT_TRUE(waitUntil([&] { return preferencesWindow.windowTitle() == "Shortcut"; }))
        << "the keys reach the preferences window";
}

}  // namespace klosia
