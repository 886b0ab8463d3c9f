// The built program in the virtual desktop, driven from outside as a user would: its tray icon,
// the menu window it opens, closing it, and a second start.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>

#include <algorithm>
#include <cstdio>

#include "FirstRun.h"
#include "support/Wait.h"
#include "support/session/DesktopDriver.h"

namespace klosia {
namespace {

using test::BackgroundProgram;
using test::DesktopDriver;
using test::DesktopWindow;
using test::waitUntil;

const QString kKlosia = QStringLiteral(KLOSIA_EXECUTABLE);

// How many applications the menu lists right now, as the command line tells.
int listedApplications() {
    QProcess list;
    list.start(kKlosia, {QStringLiteral("--list"), QStringLiteral("--json")});
    list.waitForFinished(30000);
    return static_cast<int>(QJsonDocument::fromJson(list.readAllStandardOutput()).array().size());
}

QString artefactPath(const QString& name) {
    const QString directory = QStringLiteral(KLOSIA_ARTIFACT_DIR);
    QDir().mkpath(directory);
    return directory + QLatin1Char('/') + name;
}

class StatusMenuSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.isConnected());
        ASSERT_TRUE(test::skipFirstRunAlert());
        xlogo = std::make_unique<BackgroundProgram>(QStringLiteral("xlogo"), QStringList{});
        klosia = std::make_unique<BackgroundProgram>(kKlosia, QStringList{});
        ASSERT_TRUE(waitUntil([&] { return !(icon = desktop.trayIconOf(klosia->pid())).isEmpty(); },
                              std::chrono::seconds(20)))
            << "Klosia's icon never appeared in the tray";
        ASSERT_TRUE(waitUntil([&] { return !desktop.windowsOf(xlogo->pid()).empty(); }));
        // The session's panel runs along the top or the bottom edge.
        panel = icon.center().y() < desktop.screenGeometry().height() / 2
                    ? QStringLiteral("top")
                    : QStringLiteral("bottom");
    }

    std::vector<DesktopWindow> menus() const { return desktop.popupsOf(klosia->pid()); }
    bool menuShown() const { return !menus().empty(); }
    bool waitForMenu(bool shown) {
        return waitUntil([&] { return menuShown() == shown; });
    }

    DesktopDriver desktop;
    QString panel;
    QRect icon;
    std::unique_ptr<BackgroundProgram> xlogo;
    std::unique_ptr<BackgroundProgram> klosia;
};

TEST_F(StatusMenuSession, IconOpensTheMenuAtThePanelAndPressesCloseIt) {
    const int rows = listedApplications();
    ASSERT_GE(rows, 1) << "xlogo should be listed";

    ASSERT_TRUE(DesktopDriver::pressTrayIcon(icon, [&] { return menuShown(); }))
        << "no menu window after a press on the icon";
    // The fade ends quickly; the geometry is final once the window is shown.
    const std::vector<DesktopWindow> shown = menus();
    ASSERT_FALSE(shown.empty()) << "the menu closed again at once";
    const QRect menu = shown.front().geometry;
    const QString shot =
        artefactPath(QStringLiteral("menu-open-%1%2.png").arg(DesktopDriver::desktopTag(), panel));
    ASSERT_TRUE(DesktopDriver::screenshot(shot));
    std::printf("screenshot of the open menu: %s\n", qPrintable(shot));

    EXPECT_EQ(menu.width(), 270) << "short names keep the narrowest menu";
    EXPECT_EQ(menu.height(), 27 * rows + 135);
    // Centred on the icon where the screen leaves room, else against the screen's edge.
    const QRect screen = desktop.screenGeometry();
    const int centred = std::clamp(icon.center().x() - menu.width() / 2, screen.left(),
                                   screen.right() + 1 - menu.width());
    EXPECT_LE(std::abs(menu.left() - centred), 1) << "centred on the icon";
    if (panel == QLatin1String("bottom")) {
        EXPECT_LE(menu.bottom(), icon.top()) << "above a bottom panel";
    } else {
        EXPECT_GE(menu.top(), icon.bottom()) << "below a top panel";
    }
    EXPECT_TRUE(screen.contains(menu));

    // The icon toggles it closed, and open again.
    ASSERT_TRUE(DesktopDriver::click(icon.center()));
    EXPECT_TRUE(waitForMenu(false)) << "a press on the icon should close the menu";
    ASSERT_TRUE(DesktopDriver::click(icon.center()));
    ASSERT_TRUE(waitForMenu(true)) << "the next press should open it again";
    const std::vector<DesktopWindow> reopened = menus();
    ASSERT_FALSE(reopened.empty()) << "the menu closed again at once";

    // A press on another client's window closes it, and that client is unharmed.
    const std::vector<DesktopWindow> logoWindows = desktop.windowsOf(xlogo->pid());
    QRect target;
    for (const DesktopWindow& window : logoWindows) {
        if (window.viewable && !window.geometry.intersects(reopened.front().geometry)) {
            target = window.geometry;
        }
    }
    ASSERT_FALSE(target.isEmpty()) << "xlogo has no window clear of the menu";
    ASSERT_TRUE(DesktopDriver::click(target.center()));
    EXPECT_TRUE(waitForMenu(false)) << "a press elsewhere should close the menu";
    EXPECT_EQ(xlogo->process().state(), QProcess::Running);
}

TEST_F(StatusMenuSession, ASecondStartOpensTheRunningMenuAndAddsNoIcon) {
    const std::size_t iconsBefore = desktop.trayIcons().size();
    QProcess second;
    second.start(kKlosia, {});
    ASSERT_TRUE(second.waitForFinished(20000)) << "the second start did not exit";
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
    EXPECT_TRUE(waitForMenu(true)) << "the running instance should have opened its menu";
    EXPECT_EQ(desktop.trayIcons().size(), iconsBefore);
    EXPECT_FALSE(desktop.trayIconOf(klosia->pid()).isEmpty()) << "the first icon stays";
}

}  // namespace
}  // namespace klosia

namespace klosia {
namespace {

// The program itself on a desktop without a notification server: it says so at start-up.
TEST(SessionNotificationsOff, TheProgramShowsTheAlertAtStart) {
    if (qEnvironmentVariable("KLOSIA_SESSION_NOTIFICATIONS") != QLatin1String("0")) {
        GTEST_SKIP() << "needs a session started with --no-notifications";
    }
    DesktopDriver desktop;
    ASSERT_TRUE(desktop.isConnected());
    ASSERT_TRUE(test::skipFirstRunAlert());  // the alert looked for here is the other one
    BackgroundProgram klosia(kKlosia, {});
    // The alert is an ordinary window, which the window manager frames: a client window of the
    // program inside a top-level window of another client, and far larger than a tray icon.
    QRect alert;
    EXPECT_TRUE(waitUntil(
        [&] {
            for (const DesktopWindow& window : desktop.windowsOf(klosia.pid())) {
                if (window.viewable && window.id != window.topLevel &&
                    window.geometry.width() > 100 && window.geometry.height() > 50) {
                    alert = window.geometry;
                    return true;
                }
            }
            return false;
        },
        std::chrono::seconds(20)))
        << "no alert window appeared";
    EXPECT_TRUE(desktop.screenGeometry().contains(alert.center())) << "on screen";
    const QString shot = artefactPath(QStringLiteral("notifications-off-alert.png"));
    ASSERT_TRUE(DesktopDriver::screenshot(shot));
    std::printf("screenshot of the notifications-off alert: %s\n", qPrintable(shot));
}

}  // namespace
}  // namespace klosia
