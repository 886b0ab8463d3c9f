// The settings menu of the built program in the virtual desktop, driven from outside: from the
// menu window's settings button, Help hands a mailto address to the desktop's mail handler (a
// recording script registered for x-scheme-handler/mailto, reached through xdg-open),
// Preferences gives way to the preferences window, which takes the keys, and Ctrl+Q ends
// Klosia; the tray icon's secondary press offers the same menu, whose Quit ends it as well.
#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>

#include <cstdio>

#include "core/AppInfo.h"
#include "core/SupportMail.h"
#include "platform/linux/FileUserDefaults.h"
#include "support/Wait.h"
#include "support/session/AccessibilityClient.h"
#include "support/session/DesktopDriver.h"
#include "support/session/PrivateHome.h"

namespace klosia {
namespace {

using test::BackgroundProgram;
using test::DesktopDriver;
using test::DesktopWindow;
using test::waitUntil;

const QString kKlosia = QStringLiteral(KLOSIA_EXECUTABLE);

void saveShot(const QRect& area, const QString& name) {
    const QString directory = QStringLiteral(KLOSIA_ARTIFACT_DIR);
    QDir().mkpath(directory);
    const QString path = directory + QLatin1Char('/') + name;
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(),
                                                                      area.width(), area.height());
    EXPECT_TRUE(shot.save(path, "PNG")) << path.toStdString();
    std::printf("screenshot: %s\n", qPrintable(path));
}

class SettingsMenuSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.isConnected());
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(a11y.isConnected()) << "the session runs no accessibility bus";
        // This version's first start is done: the settings alert stays away.
        FileUserDefaults defaults(home.settingsFile());
        defaults.set(
            QStringLiteral("kUserdefaultsFirstRunCount_") + QLatin1String(appinfo::kVersion),
            std::int64_t{1});
        ASSERT_TRUE(defaults.synchronize());

        klosia = std::make_unique<BackgroundProgram>(kKlosia, QStringList{}, environment);
        ASSERT_TRUE(waitUntil([&] { return !(icon = desktop.trayIconOf(klosia->pid())).isEmpty(); },
                              std::chrono::seconds(20)))
            << "Klosia's icon never appeared in the tray";
        panel = icon.center().y() < desktop.screenGeometry().height() / 2
                    ? QStringLiteral("top")
                    : QStringLiteral("bottom");
    }

    std::vector<DesktopWindow> popups() const { return desktop.popupsOf(klosia->pid()); }
    // Opens the menu window from the icon; its frame.
    QRect openMenu() {
        EXPECT_TRUE(DesktopDriver::pressTrayIcon(icon, [&] { return !popups().empty(); }));
        QRect menu;
        EXPECT_TRUE(waitUntil([&] {
            const auto shown = popups();
            return shown.size() == 1 && !(menu = shown.front().geometry).isEmpty();
        })) << "no menu after a press on the icon";
        return menu;
    }
    // Where the control with this accessible name and role is on screen, once Klosia shows it.
    QRect placeOf(const QString& name, const QString& role) const {
        QRect place;
        EXPECT_TRUE(waitUntil([&] {
            const auto app = a11y.application(klosia->pid());
            const auto control = app ? a11y.findShowing(*app, name, role) : std::nullopt;
            return control && !(place = a11y.extents(*control)).isEmpty();
        })) << "Klosia shows no control named "
            << name.toStdString();
        return place;
    }
    QPoint settingsButton() const {
        return placeOf(QStringLiteral("Settings"), QStringLiteral("push button")).center();
    }
    // Presses the settings button of the open menu; the settings menu's frame.
    QRect openSettings(const QRect& menu) {
        EXPECT_TRUE(DesktopDriver::click(settingsButton()));
        QRect settings;
        EXPECT_TRUE(waitUntil([&] {
            for (const DesktopWindow& popup : popups()) {
                if (popup.geometry != menu) {
                    settings = popup.geometry;
                    return true;
                }
            }
            return false;
        })) << "no settings menu after a press on the settings button";
        return settings;
    }
    bool ended() {
        return klosia->process().waitForFinished(20000) &&
               klosia->process().exitStatus() == QProcess::NormalExit &&
               klosia->process().exitCode() == 0;
    }

    DesktopDriver desktop;
    test::AccessibilityClient a11y;  // before Klosia starts, to hear of its popups
    test::PrivateHome home;
    QProcessEnvironment environment = home.environment();
    QString panel;
    QRect icon;
    std::unique_ptr<BackgroundProgram> klosia;
};

TEST_F(SettingsMenuSession, HelpWritesToSupportPreferencesTakeTheKeysAndCtrlQEndsKlosia) {
    QRect menu = openMenu();
    const QPoint button = settingsButton();
    const QRect settings = openSettings(menu);
    if (panel == QLatin1String("top")) {
        EXPECT_GE(settings.top(), button.y()) << "opens under its button";
    } else {
        EXPECT_LE(settings.bottom(), button.y()) << "opens over its button";
    }
    saveShot(menu.united(settings).adjusted(-12, -12, 12, 12),
             QStringLiteral("settings-menu-%1%2.png").arg(DesktopDriver::desktopTag(), panel));

    // No item is chosen at first: the third Down reaches Help.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Down")));
    }
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Return")));
    ASSERT_TRUE(waitUntil([&] { return !home.recordedMail().isEmpty(); }, std::chrono::seconds(20)))
        << "the mail handler was never started";
    const std::optional<QUrl> expected = SupportMail::url();
    ASSERT_TRUE(expected.has_value());
    EXPECT_EQ(home.recordedMail(), expected->toString(QUrl::FullyEncoded));
    EXPECT_TRUE(home.recordedMail().startsWith(QStringLiteral("mailto:")));
    EXPECT_TRUE(home.recordedMail().endsWith(
        QStringLiteral("?subject=Klosia%20Support%20%F0%9F%9B%9F&body=Hi")));

    // Preferences: the menu window goes, the preferences window comes and takes the keys.
    if (popups().empty()) {
        menu = openMenu();
    }
    ASSERT_EQ(popups().size(), 1u);
    openSettings(menu);
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Down")));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Down")));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Return")));
    ASSERT_TRUE(waitUntil([&] {
        return DesktopDriver::hasWindowTitled(klosia->pid(), QStringLiteral("General"));
    })) << "the preferences window did not open";
    EXPECT_TRUE(waitUntil([&] { return popups().empty(); })) << "the menu window closed";
    EXPECT_TRUE(waitUntil([&] { return desktop.activeWindowPid() == klosia->pid(); }))
        << "the preferences window is the active one";
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("ctrl+Tab")));
    EXPECT_TRUE(waitUntil([&] {
        return DesktopDriver::hasWindowTitled(klosia->pid(), QStringLiteral("Shortcut"));
    })) << "the keys reach the preferences window";

    // Ctrl+Q, as the settings menu shows beside Quit.
    menu = openMenu();
    openSettings(menu);
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("ctrl+q")));
    EXPECT_TRUE(ended()) << "Klosia should have ended normally";
}

TEST_F(SettingsMenuSession, TheTrayIconsSecondaryPressOffersTheSameMenuAndItsQuitEndsKlosia) {
    // With the preferences window open, which declines to close (it hides), Quit still ends it.
    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(kKlosia, {QStringLiteral("--preferences")});
    ASSERT_TRUE(second.waitForFinished(20000));
    ASSERT_TRUE(waitUntil([&] {
        return DesktopDriver::hasWindowTitled(klosia->pid(), QStringLiteral("General"));
    })) << "a second start with --preferences should have opened the preferences window";

    // Xfce's tray draws the menu itself, from the entries Klosia publishes, and sends back the
    // press; other trays ask Klosia to show its own.
    const pid_t tray = desktop.statusTrayPid();
    QRect settings;
    const auto menuShown = [&] {
        for (const DesktopWindow& popup : tray != 0 ? desktop.popupsOf(tray) : popups()) {
            if (popup.geometry.height() >= 4 * 16) {  // four items; not the icon's tool tip
                settings = popup.geometry;
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(DesktopDriver::pressTrayIcon(icon, menuShown, 3))
        << "no menu after a secondary press on the icon";
    saveShot(settings.united(icon).adjusted(-12, -12, 12, 12),
             QStringLiteral("tray-menu-%1%2.png").arg(DesktopDriver::desktopTag(), panel));
    if (tray != 0) {
        // Quit is the last entry: the first Up of a menu opened by the pointer reaches it.
        ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Up")));
        ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Return")));
    } else {
        ASSERT_TRUE(DesktopDriver::click(
            placeOf(QStringLiteral("Quit"), QStringLiteral("menu item")).center()));
    }
    EXPECT_TRUE(ended()) << "Klosia should have ended normally";
}

}  // namespace
}  // namespace klosia
