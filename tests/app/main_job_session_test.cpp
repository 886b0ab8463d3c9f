// The main job done by the built program on real clients of the virtual desktop, from outside
// as a user would: open the menu from the tray icon, leave one application unchecked, press
// the main button (with the mouse, with Alt held, or with the keyboard alone), and see the
// checked ones end, the unchecked one stay, and dunst show the closing notification.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPixmap>
#include <QProcess>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "FirstRun.h"
#include "support/DunstHistory.h"
#include "support/Wait.h"
#include "support/session/DesktopDriver.h"

namespace klosia {
namespace {

using test::BackgroundProgram;
using test::DesktopDriver;
using test::DunstHistory;
using test::waitUntil;

const QString kKlosia = QStringLiteral(KLOSIA_EXECUTABLE);
const QString kFixture = QStringLiteral(KLOSIA_FIXTURE_PATH);

// The menu as laid out by the program: a 50-point header (select-all box and search field),
// 27-point rows whose check box sits 25 points in, and an 85-point footer whose first 55
// points hold the 32-point main button, with the 32-point settings button 6 points beside it.
QPoint rowCheckBox(const QRect& menu, int row) {
    return {menu.left() + 25, menu.top() + 50 + 27 * row + 13};
}
QRect mainButton(const QRect& menu) {
    return {menu.left() + 12, menu.bottom() + 1 - 85 + 11, menu.width() - 24 - 32 - 6, 32};
}

// How wide the white title on the main button is on screen: the reading of its title from
// outside (each title of the table has its own width).
int shownTitleWidth(const QRect& menu) {
    // Clear of the rounded corners, where the menu's own light background shows.
    const QRect button = mainButton(menu).adjusted(8, 4, -8, -4);
    const QImage shot = QGuiApplication::primaryScreen()
                            ->grabWindow(0, button.x(), button.y(), button.width(), button.height())
                            .toImage();
    int left = shot.width();
    int right = -1;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor pixel = shot.pixelColor(x, y);
            if (pixel.red() > 200 && pixel.green() > 200 && pixel.blue() > 200) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    return right < left ? 0 : right - left + 1;
}
int titleWidth(const QString& title) {
    // The program draws in the same default font; the leading space of " Klosia" is blank.
    return QFontMetrics(QApplication::font()).horizontalAdvance(title.trimmed());
}
bool readsAs(const QRect& menu, const QString& title) {
    return std::abs(shownTitleWidth(menu) - titleWidth(title)) <= 3;
}

QString artefactPath(const QString& name) {
    const QString directory = QStringLiteral(KLOSIA_ARTIFACT_DIR);
    QDir().mkpath(directory);
    return directory + QLatin1Char('/') + name;
}

class MainJobSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.isConnected());
        ASSERT_TRUE(test::skipFirstRunAlert());  // its window would stand over the menu
        // dunst keeps what earlier tests showed: only notifications after this point count.
        DunstHistory::closeAll();
        for (const auto& entry : DunstHistory::entries()) {
            earlier.push_back(entry.id);
        }
    }

    BackgroundProgram& launch(const QString& program, const QStringList& arguments = {}) {
        clients.push_back(std::make_unique<BackgroundProgram>(program, arguments));
        BackgroundProgram& client = *clients.back();
        EXPECT_TRUE(waitUntil([&] { return !desktop.windowsOf(client.pid()).empty(); }))
            << program.toStdString() << " showed no window";
        return client;
    }
    static bool running(BackgroundProgram& client) {
        return client.process().state() != QProcess::NotRunning;
    }
    static bool waitEnded(BackgroundProgram& client) {
        return waitUntil([&] { return !running(client); });
    }

    // Starts Klosia, opens its menu from the tray icon and returns the menu's frame.
    QRect startAndOpen() {
        klosia = std::make_unique<BackgroundProgram>(kKlosia, QStringList{});
        QRect icon;
        EXPECT_TRUE(waitUntil([&] { return !(icon = desktop.trayIconOf(klosia->pid())).isEmpty(); },
                              std::chrono::seconds(20)));
        EXPECT_TRUE(DesktopDriver::click(icon.center()));
        QRect menu;
        EXPECT_TRUE(waitUntil([&] {
            const auto popups = desktop.popupsOf(klosia->pid());
            return !popups.empty() && !(menu = popups.front().geometry).isEmpty();
        })) << "no menu after a press on the icon";
        return menu;
    }

    // The names the menu lists, in its order.
    static QStringList listed() {
        QProcess list;
        list.start(kKlosia, {QStringLiteral("--list"), QStringLiteral("--json")});
        list.waitForFinished(30000);
        QStringList names;
        for (const QJsonValue app : QJsonDocument::fromJson(list.readAllStandardOutput()).array()) {
            names << app.toObject().value(QStringLiteral("name")).toString();
        }
        return names;
    }

    bool notified(const QString& summary, const QString& body) const {
        return waitUntil([&] {
            DunstHistory::closeAll();
            const auto entries = DunstHistory::entries();
            return std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
                return entry.summary == summary && entry.body == body &&
                       entry.appName == QLatin1String("Klosia") &&
                       std::find(earlier.begin(), earlier.end(), entry.id) == earlier.end();
            });
        });
    }
    // Waits until the main button reads `title`; says what it read instead.
    ::testing::AssertionResult waitTitle(const QRect& menu, const QString& title) const {
        if (waitUntil([&] { return readsAs(menu, title); })) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "the button's title is " << shownTitleWidth(menu) << " wide, \""
               << title.toStdString() << "\" would be " << titleWidth(title);
    }

    DesktopDriver desktop;
    std::vector<std::unique_ptr<BackgroundProgram>> clients;
    std::unique_ptr<BackgroundProgram> klosia;
    std::vector<int> earlier;
};

TEST_F(MainJobSession, TheCheckedApplicationsEndAndTheUncheckedOneStays) {
    BackgroundProgram& xterm = launch(QStringLiteral("xterm"));
    BackgroundProgram& xclock = launch(QStringLiteral("xclock"));
    BackgroundProgram& xlogo = launch(QStringLiteral("xlogo"));
    const QStringList names = listed();
    ASSERT_EQ(names, (QStringList{"XClock", "XLogo", "XTerm"}));

    const QRect menu = startAndOpen();
    EXPECT_EQ(menu.height(), 3 * 27 + 135);
    ASSERT_TRUE(waitTitle(menu, QStringLiteral(" Klosia")))
        << "every row checked: the button reads \" Klosia\"";
    const QString shot = artefactPath(QStringLiteral("main-job-menu.png"));
    ASSERT_TRUE(DesktopDriver::screenshot(shot));
    std::printf("screenshot of the open menu with its rows: %s\n", qPrintable(shot));

    ASSERT_TRUE(DesktopDriver::click(rowCheckBox(menu, static_cast<int>(names.indexOf("XClock")))));
    ASSERT_TRUE(waitTitle(menu, QStringLiteral("Quit Selected")));
    ASSERT_TRUE(DesktopDriver::click(mainButton(menu).center()));

    EXPECT_TRUE(waitEnded(xterm)) << "xterm was checked";
    EXPECT_TRUE(waitEnded(xlogo)) << "xlogo was checked";
    EXPECT_TRUE(
        notified(QStringLiteral("Selected apps has been quit! ✋"), QStringLiteral("You did it!")));
    EXPECT_TRUE(running(xclock)) << "xclock was unchecked";
    EXPECT_FALSE(desktop.popupsOf(klosia->pid()).empty()) << "the press leaves the menu open";
}

TEST_F(MainJobSession, WithAltHeldTheButtonForceQuitsAClientThatIgnoresRequests) {
    BackgroundProgram& stubborn =
        launch(kFixture, {QStringLiteral("--ignore-close"), QStringLiteral("--title"),
                          QStringLiteral("Stubborn"), QStringLiteral("--class"),
                          QStringLiteral("stubborn,Stubborn")});
    BackgroundProgram& xlogo = launch(QStringLiteral("xlogo"));
    const QStringList names = listed();
    ASSERT_EQ(names, (QStringList{"Stubborn", "XLogo"}));

    const QRect menu = startAndOpen();
    ASSERT_TRUE(waitTitle(menu, QStringLiteral(" Klosia")));
    ASSERT_TRUE(DesktopDriver::xdotool({QStringLiteral("keydown"), QStringLiteral("alt")}));
    EXPECT_TRUE(waitTitle(menu, QStringLiteral("Force Klosia")))
        << "Alt turns the preferred quit round";
    ASSERT_TRUE(DesktopDriver::xdotool({QStringLiteral("keyup"), QStringLiteral("alt")}));
    ASSERT_TRUE(waitTitle(menu, QStringLiteral(" Klosia")));

    ASSERT_TRUE(DesktopDriver::click(rowCheckBox(menu, static_cast<int>(names.indexOf("XLogo")))));
    ASSERT_TRUE(waitTitle(menu, QStringLiteral("Quit Selected")));
    ASSERT_TRUE(DesktopDriver::xdotool({QStringLiteral("keydown"), QStringLiteral("alt")}));
    ASSERT_TRUE(waitTitle(menu, QStringLiteral("Force Quit Selected")));
    const QString shot = artefactPath(QStringLiteral("main-job-force.png"));
    ASSERT_TRUE(DesktopDriver::screenshot(shot));
    std::printf("screenshot of the menu with Alt held: %s\n", qPrintable(shot));
    ASSERT_TRUE(DesktopDriver::click(mainButton(menu).center()));
    ASSERT_TRUE(DesktopDriver::xdotool({QStringLiteral("keyup"), QStringLiteral("alt")}));

    ASSERT_TRUE(waitEnded(stubborn)) << "a force quit does not ask";
    EXPECT_EQ(stubborn.process().exitStatus(), QProcess::CrashExit) << "killed by a signal";
    EXPECT_TRUE(notified(QStringLiteral("Selected apps has been quit with force! 💪"),
                         QStringLiteral("The force is strong with you.")));
    EXPECT_TRUE(running(xlogo));
}

TEST_F(MainJobSession, TheKeyboardAloneDoesTheSameJob) {
    BackgroundProgram& xclock = launch(QStringLiteral("xclock"));
    BackgroundProgram& xlogo = launch(QStringLiteral("xlogo"));
    BackgroundProgram& xterm = launch(QStringLiteral("xterm"));
    ASSERT_EQ(listed(), (QStringList{"XClock", "XLogo", "XTerm"}));

    const QRect menu = startAndOpen();
    ASSERT_TRUE(waitTitle(menu, QStringLiteral(" Klosia")));
    // The search field has the keyboard: Down reaches the first row, Space unchecks it.
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Down")));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("space")));
    ASSERT_TRUE(waitTitle(menu, QStringLiteral("Quit Selected")));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Return")));

    EXPECT_TRUE(waitEnded(xlogo));
    EXPECT_TRUE(waitEnded(xterm));
    EXPECT_TRUE(
        notified(QStringLiteral("Selected apps has been quit! ✋"), QStringLiteral("You did it!")));
    EXPECT_TRUE(running(xclock)) << "the first row, unchecked with Space";
}

}  // namespace
}  // namespace klosia
