// The Wayland workspace on a real sway (run-wayland-session.sh: headless, unprivileged) with real
// clients: a terminal (foot), a Qt program, and a GTK 4 program that holds unsaved work and
// refuses to close. Each is listed once with its true pid, the focused one active; a
// polite quit closes windows and never signals, so the refusing one stays; force quit kills it;
// without sway's IPC no pid is guessed, so force quit is refused; and klosia --list names the
// backend, or says in one line that the desktop shows it nothing.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <QThread>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <tuple>

#include "core/QtDispatcher.h"
#include "menu/MenuQuitRun.h"
#include "model/MenuApp.h"
#include "platform/RunningApplication.h"
#include "platform/linux/ProcessInfo.h"
#include "platform/wayland/WaylandApplication.h"
#include "platform/wayland/WaylandToplevels.h"
#include "platform/wayland/WaylandWorkspace.h"
#include "support/LogCapture.h"
#include "support/Wait.h"
#include "wayland/WaylandClient.h"

namespace klosia {
namespace {

using test::Client;
using test::kGtkFixture;
using test::kQtFixture;
using test::waitUntil;

class SwayWorkspace : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) << "not in a Wayland session";
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("SWAYSOCK")) << "not under sway";
    }
    std::unique_ptr<WaylandWorkspace> workspace() {
        QString error;
        auto made = createWaylandWorkspace(&error, nullptr, WaylandWorkspace::Updates::onCall);
        EXPECT_NE(made, nullptr) << error.toStdString();
        return made;
    }
    static RunningApplicationPtr find(WaylandWorkspace& workspace, const QString& id) {
        for (const RunningApplicationPtr& app : workspace.runningApplications()) {
            if (app->bundleIdentifier() == id) {
                return app;
            }
        }
        return nullptr;
    }
    static RunningApplicationPtr ofPid(WaylandWorkspace& workspace, pid_t pid) {
        for (const RunningApplicationPtr& app : workspace.runningApplications()) {
            if (app->processIdentifier() == pid) {
                return app;
            }
        }
        return nullptr;
    }
    static int count(WaylandWorkspace& workspace, pid_t pid) {
        const auto apps = workspace.runningApplications();
        return static_cast<int>(std::count_if(apps.begin(), apps.end(), [&](const auto& app) {
            return app->processIdentifier() == pid;
        }));
    }
};

TEST_F(SwayWorkspace, EachClientOnceWithItsPidAPoliteQuitThatMayBeRefusedAndAForceQuit) {
    Client terminal(QStringLiteral("foot"), {QStringLiteral("--app-id=klosia.test.terminal")});
    Client plain(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.plain")});
    Client unsaved(kGtkFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.unsaved"),
                                 QStringLiteral("--unsaved")});
    // As a user would, quit only what is on screen.
    ASSERT_TRUE(plain.waitExposed());
    ASSERT_TRUE(unsaved.waitExposed());
    const auto listed = workspace();
    ASSERT_NE(listed, nullptr);
    EXPECT_TRUE(listed->description().contains(QLatin1String("pids from sway")));
    // Each by the pid its process really has, once.
    ASSERT_TRUE(waitUntil([&] {
        return ofPid(*listed, terminal.pid()) && ofPid(*listed, plain.pid()) &&
               ofPid(*listed, unsaved.pid());
    })) << "the three clients were never all listed with their pids";
    const RunningApplicationPtr term = ofPid(*listed, terminal.pid());
    const RunningApplicationPtr qt = ofPid(*listed, plain.pid());
    const RunningApplicationPtr refusing = ofPid(*listed, unsaved.pid());
    EXPECT_EQ(term->bundleIdentifier().toStdString(), "foot")
        << "foot's own entry, not foot-server's, which runs the same program";
    EXPECT_EQ(qt->bundleIdentifier().toStdString(), "klosia.test.plain")
        << "without an entry, the app_id";
    EXPECT_EQ(refusing->localizedName().toStdString(), "klosia.test.unsaved");
    EXPECT_NE(refusing->startTime(), 0u);
    for (const pid_t pid : {terminal.pid(), plain.pid(), unsaved.pid()}) {
        EXPECT_EQ(count(*listed, pid), 1) << pid;
    }
    EXPECT_EQ(term->activationPolicy(), ActivationPolicy::regular);
    // The window sway is told to focus makes its application the active one.
    for (const pid_t pid : {plain.pid(), unsaved.pid()}) {
        ASSERT_EQ(QProcess::execute(QStringLiteral("swaymsg"),
                                    {QStringLiteral("[pid=%1] focus").arg(pid)}),
                  0);
        EXPECT_TRUE(waitUntil([&] {
            listed->runningApplications();
            const RunningApplicationPtr front = listed->frontmostApplication();
            return front && front->isActive() && front->processIdentifier() == pid;
        })) << "focused pid "
            << pid << " is not the active application";
    }
    // Raising from the row: the compositor is asked through the protocol, with our seat.
    EXPECT_TRUE(qt->activate());
    EXPECT_TRUE(waitUntil([&] {
        listed->runningApplications();
        const RunningApplicationPtr front = listed->frontmostApplication();
        return front && front->processIdentifier() == plain.pid();
    })) << "the activated application did not come to the front";

    // Polite: the windows are asked; the one with unsaved work says no and keeps running.
    test::LogCapture log;
    EXPECT_TRUE(term->terminate());
    EXPECT_TRUE(qt->terminate());
    EXPECT_TRUE(refusing->terminate());
    EXPECT_TRUE(terminal.waitEnded()) << "foot closes when its window is asked to";
    EXPECT_TRUE(plain.waitEnded()) << "the Qt client printed: " << plain.output().toStdString();
    EXPECT_TRUE(waitUntil([&] { return plain.output().contains("closing"); }))
        << "it closed itself";
    EXPECT_TRUE(log.matching("SIGKILL to pid " + std::to_string(plain.pid())).empty())
        << "closed, not signalled";
    EXPECT_TRUE(waitUntil([&] { return unsaved.output().contains("refused a close"); }))
        << "the request reached the refusing window";
    EXPECT_TRUE(unsaved.running()) << "unsaved work is never lost to a polite quit";
    ASSERT_TRUE(waitUntil([&] { return ofPid(*listed, plain.pid()) == nullptr; }));
    EXPECT_TRUE(qt->isTerminated());
    EXPECT_NE(ofPid(*listed, unsaved.pid()), nullptr);

    // Force: no question asked.
    EXPECT_TRUE(refusing->forceTerminate());
    EXPECT_TRUE(unsaved.waitEnded());
    EXPECT_FALSE(log.matching("sent SIGKILL to pid " + std::to_string(unsaved.pid())).empty())
        << "killed by a signal";
}

TEST_F(SwayWorkspace, WithoutTheCompositorsWordOnPidsForceQuitIsRefused) {
    Client unsaved(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.nopid"),
                                QStringLiteral("--unsaved")});
    ASSERT_TRUE(unsaved.waitExposed());
    const QByteArray socket = qgetenv("SWAYSOCK");
    qunsetenv("SWAYSOCK");
    const auto listed = workspace();
    qputenv("SWAYSOCK", socket);
    ASSERT_NE(listed, nullptr);
    EXPECT_TRUE(listed->description().contains(QLatin1String("no pids")));
    RunningApplicationPtr app;
    ASSERT_TRUE(waitUntil(
        [&] { return (app = find(*listed, QStringLiteral("klosia.test.nopid"))) != nullptr; }));
    EXPECT_EQ(app->processIdentifier(), 0) << "no pid is guessed";

    test::LogCapture log;
    EXPECT_FALSE(app->forceTerminate());
    EXPECT_EQ(log.matching("this desktop does not say which process owns the window").size(), 1u);
    EXPECT_TRUE(unsaved.running());
    // A polite quit still works without a pid.
    EXPECT_TRUE(app->terminate());
    EXPECT_TRUE(waitUntil([&] { return unsaved.output().contains("refused a close"); }));
}

TEST_F(SwayWorkspace, LaunchesEndsAndFocusArriveAsTheProtocolsEvents) {
    QString error;
    auto followed =
        createWaylandWorkspace(&error, nullptr, WaylandWorkspace::Updates::followDesktop);
    ASSERT_NE(followed, nullptr) << error.toStdString();
    std::vector<pid_t> launched;
    std::vector<pid_t> ended;
    followed->setDidLaunchHandler(
        [&](const RunningApplicationPtr& app) { launched.push_back(app->processIdentifier()); });
    followed->setDidTerminateHandler(
        [&](const RunningApplicationPtr& app) { ended.push_back(app->processIdentifier()); });

    auto first = std::make_unique<Client>(
        kQtFixture, QStringList{QStringLiteral("--app-id"), QStringLiteral("klosia.test.first")});
    Client second(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.second")});
    const pid_t firstPid = first->pid();
    // Only the event loop runs here: nothing asks the compositor for a fresh list.
    ASSERT_TRUE(waitUntil([&] {
        return std::count(launched.begin(), launched.end(), firstPid) == 1 &&
               std::count(launched.begin(), launched.end(), second.pid()) == 1;
    })) << "no launch event for each client";
    ASSERT_EQ(QProcess::execute(QStringLiteral("swaymsg"),
                                {QStringLiteral("[pid=%1] focus").arg(firstPid)}),
              0);
    EXPECT_TRUE(waitUntil([&] {
        const RunningApplicationPtr front = followed->frontmostApplication();
        return front && front->processIdentifier() == firstPid;
    })) << "the focus change did not reach the workspace";
    first.reset();  // killed
    EXPECT_TRUE(waitUntil([&] { return std::count(ended.begin(), ended.end(), firstPid) == 1; }))
        << "no termination event";
    const auto known = followed->knownApplications();
    EXPECT_TRUE(std::none_of(known.begin(), known.end(), [&](const auto& app) {
        return app->processIdentifier() == firstPid;
    }));
}

TEST_F(SwayWorkspace, WindowlessHelpersAreListedUnderTheirApplicationAndAskedBySigterm) {
    Client browser(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.browser"),
                                QStringLiteral("--helpers"), QStringLiteral("2")});
    ASSERT_TRUE(browser.waitExposed());
    std::vector<pid_t> started;
    for (const QByteArray& line : browser.output().split('\n')) {
        if (line.startsWith("helper ")) {
            started.push_back(static_cast<pid_t>(line.mid(7).toInt()));
        }
    }
    ASSERT_EQ(started.size(), 2u);
    const auto listed = workspace();
    ASSERT_NE(listed, nullptr);
    std::vector<RunningApplicationPtr> helpers;
    ASSERT_TRUE(waitUntil([&] {
        helpers.clear();
        for (const RunningApplicationPtr& app : listed->runningApplications()) {
            if (app->helperOf() == browser.pid()) {
                helpers.push_back(app);
            }
        }
        return helpers.size() == 2;
    })) << "the two helpers were not listed under their application";
    for (const RunningApplicationPtr& helper : helpers) {
        EXPECT_NE(std::find(started.begin(), started.end(), helper->processIdentifier()),
                  started.end());
        EXPECT_EQ(helper->bundleIdentifier().toStdString(), "klosia.test.browser");
        EXPECT_EQ(helper->activationPolicy(), ActivationPolicy::prohibited);
    }

    test::LogCapture log;
    const pid_t asked = helpers.front()->processIdentifier();
    EXPECT_TRUE(helpers.front()->terminate()) << "a helper has no window to ask";
    EXPECT_FALSE(log.matching("sent SIGTERM to pid " + std::to_string(asked)).empty());
    EXPECT_TRUE(waitUntil([&] {
        const auto apps = listed->runningApplications();
        return std::none_of(apps.begin(), apps.end(),
                            [&](const auto& app) { return app->processIdentifier() == asked; });
    })) << "the ended helper is still listed";
    EXPECT_TRUE(helpers.front()->isTerminated());
    EXPECT_TRUE(browser.running()) << "its application was not touched";
}

// The menu's quit run, as the main button starts it: each request from the background pool while
// the main thread follows the desktop on the same connection.
TEST_F(SwayWorkspace, TheMenusQuitRunClosesFromItsPoolWhileTheMainThreadFollowsTheDesktop) {
    QString error;
    auto followed =
        createWaylandWorkspace(&error, nullptr, WaylandWorkspace::Updates::followDesktop);
    ASSERT_NE(followed, nullptr) << error.toStdString();
    Client terminal(QStringLiteral("foot"), {QStringLiteral("--app-id=klosia.test.run.terminal")});
    Client plain(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.run.plain"),
                              QStringLiteral("--windows"), QStringLiteral("3")});
    Client unsaved(kGtkFixture,
                   {QStringLiteral("--app-id"), QStringLiteral("klosia.test.run.unsaved"),
                    QStringLiteral("--unsaved")});
    std::vector<MenuAppPtr> checked;
    ASSERT_TRUE(waitUntil([&] {
        checked.clear();
        for (const RunningApplicationPtr& app : followed->runningApplications()) {
            if (app->processIdentifier() == terminal.pid() ||
                app->processIdentifier() == plain.pid() ||
                app->processIdentifier() == unsaved.pid()) {
                checked.push_back(std::make_shared<MenuApp>(
                    true, app->localizedName(), app->bundleIdentifier(),
                    std::vector<RunningApplicationPtr>{app}, MenuAppPolicy::standard));
            }
        }
        return checked.size() == 3;
    })) << "the three clients were never all listed";

    QtDispatcher dispatcher;
    MenuQuitRun::start(dispatcher, checked, false, false);
    EXPECT_TRUE(waitUntil([&] { return !terminal.running() && !plain.running(); }))
        << "the terminal and the Qt program were not closed";
    EXPECT_TRUE(waitUntil([&] { return unsaved.output().contains("refused a close"); }));
    EXPECT_TRUE(unsaved.running()) << "unsaved work is never lost to a polite quit";
    dispatcher.waitForBackground();
}

// What the pool asks of the connection runs on its thread; a thread that does not get to it in
// time (it waits for the pool itself, as at shutdown) costs the request, never a deadlock.
TEST(WaylandConnectionThread, WorkFromAnotherThreadRunsOnTheConnectionsOrNotAtAll) {
    QString error;
    const std::shared_ptr<WaylandToplevels> connection = WaylandToplevels::connect(&error);
    ASSERT_NE(connection, nullptr) << error.toStdString();
    QThread* const own = QThread::currentThread();
    std::atomic<int> runs{0};
    std::atomic<bool> onOwn{false};
    std::atomic<bool> answered{false};
    std::thread pool([&] {
        answered = connection->onOwnThread([&] {
            ++runs;
            onOwn = QThread::currentThread() == own;
            return true;
        });
    });
    EXPECT_TRUE(waitUntil([&] { return answered.load(); }));
    pool.join();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(onOwn);

    std::atomic<bool> late{true};
    std::thread waiting([&] { late = connection->onOwnThread([&] { return ++runs > 0; }); });
    waiting.join();  // this thread runs no events meanwhile
    EXPECT_FALSE(late);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1) << "abandoned work ran after all";
}

// A pid that names another process than the one listed (its start time differs) is refused.
TEST(WaylandForceQuit, APidNowNamingAnotherProcessIsNeverSignalled) {
    Client other(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.other")});
    ASSERT_TRUE(other.waitExposed());
    const std::uint64_t start = ProcessInfo::startTime(other.pid()).value_or(0);
    ASSERT_NE(start, 0u);
    // As if the listed process had ended and its pid gone to this one since.
    WaylandApplication stale({}, other.pid(), start - 1,
                             {QStringLiteral("klosia.test.gone"), {}, {}});
    test::LogCapture log;
    EXPECT_FALSE(stale.forceTerminate());
    EXPECT_FALSE(log.matching("refused SIGKILL to pid " + std::to_string(other.pid())).empty());
    EXPECT_FALSE(waitUntil([&] { return !other.running(); }, std::chrono::seconds(1)))
        << "the other process was hit";
}

TEST_F(SwayWorkspace, TheListCommandNamesTheBackendAndListsEachClientOnce) {
    Client terminal(QStringLiteral("foot"), {QStringLiteral("--app-id=klosia.test.listed")});
    const auto run = [](const QStringList& arguments, const QProcessEnvironment& environment) {
        QProcess list;
        list.setProcessEnvironment(environment);
        list.start(QStringLiteral(KLOSIA_EXECUTABLE), arguments);
        list.waitForFinished(30000);
        return std::make_tuple(list.exitCode(), QString::fromUtf8(list.readAllStandardOutput()),
                               QString::fromUtf8(list.readAllStandardError()));
    };
    const QProcessEnvironment session = QProcessEnvironment::systemEnvironment();
    int listedTimes = 0;
    ASSERT_TRUE(waitUntil([&] {
        const auto [status, out, err] =
            run({QStringLiteral("--list"), QStringLiteral("--json")}, session);
        listedTimes = 0;
        for (const QJsonValue app : QJsonDocument::fromJson(out.toUtf8()).array()) {
            listedTimes += app.toObject()
                                   .value(QStringLiteral("pids"))
                                   .toArray()
                                   .contains(static_cast<qint64>(terminal.pid()))
                               ? 1
                               : 0;
        }
        return status == 0 && listedTimes > 0;
    })) << "klosia --list --json never listed foot's pid";
    EXPECT_EQ(listedTimes, 1);
    const auto [status, table, err] = run({QStringLiteral("--list")}, session);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(table.contains(
        QLatin1String("(workspace: wayland (wlr foreign toplevel, pids from sway))")))
        << table.toStdString();

    // A compositor that cannot be reached, or offers no window list: one line, status 1.
    QProcessEnvironment elsewhere = session;
    elsewhere.insert(QStringLiteral("WAYLAND_DISPLAY"),
                     QStringLiteral("klosia-test-no-such-display"));
    const auto [failed, nothing, message] = run({QStringLiteral("--list")}, elsewhere);
    EXPECT_EQ(failed, 1);
    EXPECT_TRUE(nothing.isEmpty());
    EXPECT_TRUE(message.contains(
        QLatin1String("this desktop does not let Klosia see other applications' windows")))
        << message.toStdString();
    EXPECT_TRUE(terminal.running());
}

}  // namespace
}  // namespace klosia
