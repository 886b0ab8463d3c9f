// The main job done by the built program on real clients of the virtual desktop, from outside
// as a user would: open the menu from the tray icon, leave one application unchecked, press
// the main button (with the mouse, with Alt held, with the keyboard alone, or through a screen
// reader's actions), and see the checked ones end, the unchecked one stay, and dunst show the
// closing notification. Controls are found by their accessible names, as a screen reader finds
// them, and the mouse presses where they say they are.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>

#include "FirstRun.h"
#include "support/DunstHistory.h"
#include "support/Wait.h"
#include "support/session/AccessibilityClient.h"
#include "support/session/DesktopDriver.h"

namespace klosia {
namespace {

using test::AccessibilityClient;
using test::Accessible;
using test::BackgroundProgram;
using test::DesktopDriver;
using test::DunstHistory;
using test::waitUntil;

const QString kKlosia = QStringLiteral(KLOSIA_EXECUTABLE);
const QString kFixture = QStringLiteral(KLOSIA_FIXTURE_PATH);

// What the main button is called, as a screen reader hears it. Its title (" Klosia", "Quit
// Selected", "Force Klosia", "Force Quit Selected") says the same in fewer words.
const QString kQuitAll = QStringLiteral("Quit all applications");
const QString kQuitChecked = QStringLiteral("Quit checked applications");
const QString kForceQuitAll = QStringLiteral("Force quit all applications");
const QString kForceQuitChecked = QStringLiteral("Force quit checked applications");

QString artefactPath(const QString& name) {
    const QString directory = QStringLiteral(KLOSIA_ARTIFACT_DIR);
    QDir().mkpath(directory);
    return directory + QLatin1Char('/') + name;
}

class MainJobSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.isConnected());
        ASSERT_TRUE(a11y.isConnected()) << "the session runs no accessibility bus";
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
        EXPECT_TRUE(DesktopDriver::pressTrayIcon(
            icon, [&] { return !desktop.popupsOf(klosia->pid()).empty(); }));
        QRect menu;
        EXPECT_TRUE(waitUntil([&] {
            const auto popups = desktop.popupsOf(klosia->pid());
            return !popups.empty() && !(menu = popups.front().geometry).isEmpty();
        })) << "no menu after a press on the icon";
        EXPECT_TRUE(waitUntil([&] {
            return (published = a11y.application(klosia->pid())).has_value();
        })) << "Klosia published no accessible controls";
        return menu;
    }

    // The showing control of the menu with this accessible name, once there is one; says what
    // the menu shows instead.
    ::testing::AssertionResult waitControl(const QString& name, Accessible* found = nullptr) const {
        std::optional<Accessible> control;
        if (published &&
            waitUntil([&] { return (control = a11y.findShowing(*published, name)).has_value(); })) {
            if (found != nullptr) {
                *found = *control;
            }
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "no control named \"" << name.toStdString() << "\"; showing: "
               << (published
                       ? a11y.showingNames(*published).join(QStringLiteral(" | ")).toStdString()
                       : std::string("(nothing published)"));
    }
    // A press of the mouse on the control with this name.
    ::testing::AssertionResult clickControl(const QString& name) const {
        Accessible control;
        auto found = waitControl(name, &control);
        if (!found) {
            return found;
        }
        const QRect where = a11y.extents(control);
        if (where.isEmpty()) {
            return ::testing::AssertionFailure()
                   << "\"" << name.toStdString() << "\" has no extents";
        }
        if (!DesktopDriver::click(where.center())) {
            return ::testing::AssertionFailure() << "xdotool could not click";
        }
        return ::testing::AssertionSuccess();
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

    // Whether the list comes to name exactly these: a window manager takes a moment to manage
    // a new window (KWin more than openbox), and until then it is not on the client list.
    static ::testing::AssertionResult listsSoon(const QStringList& expected) {
        QStringList names;
        if (waitUntil([&] { return (names = listed()) == expected; })) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure()
               << "listed: " << names.join(QLatin1Char(',')).toStdString();
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
    DesktopDriver desktop;
    AccessibilityClient a11y;
    std::optional<Accessible> published;  // Klosia's root on the accessibility bus
    std::vector<std::unique_ptr<BackgroundProgram>> clients;
    std::unique_ptr<BackgroundProgram> klosia;
    std::vector<int> earlier;
};

TEST_F(MainJobSession, TheCheckedApplicationsEndAndTheUncheckedOneStays) {
    BackgroundProgram& xterm = launch(QStringLiteral("xterm"));
    BackgroundProgram& xclock = launch(QStringLiteral("xclock"));
    BackgroundProgram& xlogo = launch(QStringLiteral("xlogo"));
    ASSERT_TRUE(listsSoon({"XClock", "XLogo", "XTerm"}));

    const QRect menu = startAndOpen();
    EXPECT_EQ(menu.height(), 3 * 27 + 135);
    ASSERT_TRUE(waitControl(kQuitAll)) << "every row checked";
    const QString shot =
        artefactPath(DesktopDriver::desktopTag() + QStringLiteral("main-job-menu.png"));
    ASSERT_TRUE(DesktopDriver::screenshot(shot));
    std::printf("screenshot of the open menu with its rows: %s\n", qPrintable(shot));

    ASSERT_TRUE(clickControl(QStringLiteral("Select XClock")));
    ASSERT_TRUE(clickControl(kQuitChecked));

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
    ASSERT_TRUE(listsSoon({"Stubborn", "XLogo"}));

    startAndOpen();
    ASSERT_TRUE(waitControl(kQuitAll));
    ASSERT_TRUE(DesktopDriver::xdotool({QStringLiteral("keydown"), QStringLiteral("alt")}));
    EXPECT_TRUE(waitControl(kForceQuitAll)) << "Alt turns the preferred quit round";
    ASSERT_TRUE(DesktopDriver::xdotool({QStringLiteral("keyup"), QStringLiteral("alt")}));
    ASSERT_TRUE(waitControl(kQuitAll));

    ASSERT_TRUE(clickControl(QStringLiteral("Select XLogo")));
    ASSERT_TRUE(waitControl(kQuitChecked));
    ASSERT_TRUE(DesktopDriver::xdotool({QStringLiteral("keydown"), QStringLiteral("alt")}));
    Accessible forceButton;
    ASSERT_TRUE(waitControl(kForceQuitChecked, &forceButton));
    const QString shot =
        artefactPath(DesktopDriver::desktopTag() + QStringLiteral("main-job-force.png"));
    ASSERT_TRUE(DesktopDriver::screenshot(shot));
    std::printf("screenshot of the menu with Alt held: %s\n", qPrintable(shot));
    ASSERT_TRUE(DesktopDriver::click(a11y.extents(forceButton).center()));
    ASSERT_TRUE(DesktopDriver::xdotool({QStringLiteral("keyup"), QStringLiteral("alt")}));

    ASSERT_TRUE(waitEnded(stubborn)) << "a force quit does not ask";
    EXPECT_EQ(stubborn.process().exitStatus(), QProcess::CrashExit) << "killed by a signal";
    EXPECT_TRUE(notified(QStringLiteral("Selected apps has been quit with force! 💪"),
                         QStringLiteral("The force is strong with you.")));
    EXPECT_TRUE(running(xlogo));
}

TEST_F(MainJobSession, TheKeyboardAloneDoesTheSameJobAndAltReturnForceQuits) {
    BackgroundProgram& xclock = launch(QStringLiteral("xclock"));
    BackgroundProgram& xlogo = launch(QStringLiteral("xlogo"));
    BackgroundProgram& xterm = launch(QStringLiteral("xterm"));
    // The previous test's clients may still be on their way out.
    ASSERT_TRUE(listsSoon({"XClock", "XLogo", "XTerm"}));

    startAndOpen();
    ASSERT_TRUE(waitControl(kQuitAll));
    // The search field has the keyboard: Down reaches the first row, Space unchecks it.
    Accessible search;
    ASSERT_TRUE(waitControl(QStringLiteral("Search applications"), &search));
    EXPECT_TRUE(a11y.isFocused(search)) << "the menu opens with the keyboard in the search field";
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Down")));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("space")));
    ASSERT_TRUE(waitControl(kQuitChecked));
    Accessible first;
    ASSERT_TRUE(waitControl(QStringLiteral("Select XClock"), &first));
    EXPECT_FALSE(a11y.isChecked(first));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Return")));

    EXPECT_TRUE(waitEnded(xlogo));
    EXPECT_TRUE(waitEnded(xterm));
    EXPECT_TRUE(
        notified(QStringLiteral("Selected apps has been quit! ✋"), QStringLiteral("You did it!")));
    EXPECT_TRUE(running(xclock)) << "the first row, unchecked with Space";

    // Alt+Return: the main button in the other mode, for a client that ignores requests.
    BackgroundProgram& stubborn =
        launch(kFixture, {QStringLiteral("--ignore-close"), QStringLiteral("--title"),
                          QStringLiteral("Stubborn"), QStringLiteral("--class"),
                          QStringLiteral("stubborn,Stubborn")});
    ASSERT_TRUE(waitControl(QStringLiteral("Select Stubborn")));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("alt+Return")));
    EXPECT_TRUE(waitEnded(stubborn)) << "Alt+Return did not force quit";
    EXPECT_EQ(stubborn.process().exitStatus(), QProcess::CrashExit) << "killed by a signal";
    EXPECT_TRUE(running(xclock)) << "still unchecked";
}

TEST_F(MainJobSession, AScreenReadersActionsDoTheSameJob) {
    BackgroundProgram& xclock = launch(QStringLiteral("xclock"));
    BackgroundProgram& xlogo = launch(QStringLiteral("xlogo"));
    ASSERT_TRUE(listsSoon({"XClock", "XLogo"}));

    startAndOpen();
    Accessible box;
    ASSERT_TRUE(waitControl(QStringLiteral("Select XLogo"), &box));
    EXPECT_TRUE(a11y.isChecked(box));
    ASSERT_TRUE(a11y.doAction(box, QStringLiteral("Toggle")));
    ASSERT_TRUE(waitUntil([&] { return !a11y.isChecked(box); })) << "Toggle unchecks the row";
    Accessible button;
    ASSERT_TRUE(waitControl(kQuitChecked, &button));
    ASSERT_TRUE(a11y.doAction(button, QStringLiteral("Press")));

    EXPECT_TRUE(waitEnded(xclock)) << "xclock was checked";
    EXPECT_TRUE(
        notified(QStringLiteral("Selected apps has been quit! ✋"), QStringLiteral("You did it!")));
    EXPECT_TRUE(running(xlogo)) << "xlogo was unchecked";
}

TEST_F(MainJobSession, AClientThatStopsAnsweringIsMarkedAndItsRowForceQuitsIt) {
    BackgroundProgram& frozen =
        launch(kFixture, {QStringLiteral("--ping"), QStringLiteral("--ignore-close"),
                          QStringLiteral("--title"), QStringLiteral("Frozen"),
                          QStringLiteral("--class"), QStringLiteral("frozen,Frozen")});
    launch(kFixture, {QStringLiteral("--ping"), QStringLiteral("--title"), QStringLiteral("Idle"),
                      QStringLiteral("--class"), QStringLiteral("idle,Idle")});
    // A client that never said it answers pings is never called hung.
    BackgroundProgram& mute =
        launch(kFixture, {QStringLiteral("--title"), QStringLiteral("Mute"),
                          QStringLiteral("--class"), QStringLiteral("mute,Mute")});
    startAndOpen();
    ASSERT_TRUE(waitControl(QStringLiteral("Processor load of Frozen")));

    const pid_t frozenPid = static_cast<pid_t>(frozen.process().processId());
    const pid_t mutePid = static_cast<pid_t>(mute.process().processId());
    ASSERT_EQ(::kill(frozenPid, SIGSTOP), 0);
    ASSERT_EQ(::kill(mutePid, SIGSTOP), 0);
    EXPECT_TRUE(waitControl(QStringLiteral("Frozen is not responding")));
    EXPECT_TRUE(waitControl(QStringLiteral("Force quit Frozen"))) << "its quit button's force form";
    const QString shot =
        artefactPath(DesktopDriver::desktopTag() + QStringLiteral("main-job-not-responding.png"));
    ASSERT_TRUE(DesktopDriver::screenshot(shot));
    std::printf("screenshot of a row not responding: %s\n", qPrintable(shot));
    EXPECT_TRUE(waitControl(QStringLiteral("Processor load of Idle"))) << "it answers";
    EXPECT_TRUE(waitControl(QStringLiteral("Processor load of Mute"))) << "it was never pinged";
    // The command line says so too, from pings of its own.
    QProcess list;
    list.start(kKlosia, {QStringLiteral("--list"), QStringLiteral("--json")});
    ASSERT_TRUE(list.waitForFinished(30000));
    QHash<QString, bool> responding;
    const QJsonArray entries = QJsonDocument::fromJson(list.readAllStandardOutput()).array();
    for (const auto& entry : entries) {
        responding.insert(entry[QStringLiteral("name")].toString(),
                          entry[QStringLiteral("responding")].toBool(true));
    }
    EXPECT_EQ(responding.value(QStringLiteral("Frozen"), true), false);
    EXPECT_EQ(responding.value(QStringLiteral("Idle"), false), true);
    EXPECT_EQ(responding.value(QStringLiteral("Mute"), false), true);
    ASSERT_EQ(::kill(mutePid, SIGCONT), 0);

    // An answer clears it.
    ASSERT_EQ(::kill(frozenPid, SIGCONT), 0);
    EXPECT_TRUE(waitControl(QStringLiteral("Processor load of Frozen")));
    EXPECT_TRUE(waitControl(QStringLiteral("Quit Frozen")));

    ASSERT_EQ(::kill(frozenPid, SIGSTOP), 0);
    ASSERT_TRUE(waitControl(QStringLiteral("Frozen is not responding")));
    ASSERT_TRUE(clickControl(QStringLiteral("Force quit Frozen")));
    EXPECT_TRUE(waitEnded(frozen)) << "the row's force quit did not end the hung client";
}

// A row's load is its application's and its helpers', though the helpers are not listed.
TEST_F(MainJobSession, ARowsLoadCountsItsBusyHelpersWhileTheyAreHidden) {
    launch(kFixture,
           {QStringLiteral("--busy-helpers"), QStringLiteral("2"), QStringLiteral("--title"),
            QStringLiteral("Busy"), QStringLiteral("--class"), QStringLiteral("busy,Busy")});
    ASSERT_TRUE(listsSoon({QStringLiteral("Busy")}))
        << "the windowless helpers are background processes, hidden";
    startAndOpen();
    Accessible load;
    ASSERT_TRUE(waitControl(QStringLiteral("Processor load of Busy"), &load));
    // The window's own process idles: a figure well above nothing is its helpers', on a machine
    // however busy with other tests.
    QString said;
    EXPECT_TRUE(waitUntil(
        [&] {
            said = a11y.description(load);
            return said.endsWith(QStringLiteral("the load of 3 processes")) &&
                   said.section(QLatin1Char('%'), 0, 0).toDouble() >= 20;
        },
        std::chrono::seconds(10)))
        << "the load's label says \"" << said.toStdString() << "\"";
}

}  // namespace
}  // namespace klosia
