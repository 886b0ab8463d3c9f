// The X workspace on a desktop without an EWMH window manager (run-session.sh --no-wm): there is
// no client list, nobody takes _NET_CLOSE_WINDOW and nobody keeps _NET_ACTIVE_WINDOW, yet
// applications are listed, a polite quit still reaches them and the focused one is active; and
// under a window manager of the old kind, which frames the windows, the applications inside the
// frames are listed, never the manager.
#include <gtest/gtest.h>

#include <QProcess>

#include <csignal>
#include <memory>

#include "platform/linux/ProcessControl.h"
#include "platform/linux/ProcessInfo.h"
#include "platform/x11/X11Workspace.h"
#include "support/LogCapture.h"
#include "support/Wait.h"
#include "support/session/ClientProcess.h"

namespace klosia {
namespace {

using test::Client;
using test::waitUntil;

bool noWindowManager() {
    return qEnvironmentVariable("KLOSIA_SESSION_WM") == QLatin1String("none");
}

std::unique_ptr<Client> fixture(const QString& windowClass) {
    auto client = std::make_unique<Client>(
        QStringLiteral(KLOSIA_FIXTURE_PATH),
        QStringList{QStringLiteral("--class"),
                    windowClass.toLower() + QLatin1Char(',') + windowClass});
    EXPECT_TRUE(client->line(QStringLiteral("ready"))) << "the fixture did not map its window";
    return client;
}

RunningApplicationPtr waitFor(Workspace& workspace, pid_t pid) {
    RunningApplicationPtr app;
    waitUntil([&] {
        for (const RunningApplicationPtr& candidate : workspace.runningApplications()) {
            if (candidate->processIdentifier() == pid) {
                app = candidate;
            }
        }
        return app != nullptr;
    });
    return app;
}

bool isFrontmost(Workspace& workspace, const RunningApplicationPtr& app) {
    return waitUntil([&] { return workspace.frontmostApplication() == app; });
}

TEST(NoWindowManagerSessionTest, PoliteQuitStillClosesTheWindow) {
    if (!noWindowManager()) {
        GTEST_SKIP() << "runs only in a session started with --no-wm";
    }
    QString error;
    const std::unique_ptr<Workspace> workspace = createX11Workspace(&error);
    ASSERT_NE(workspace, nullptr) << error.toStdString();

    QProcess client;
    client.start(QStringLiteral(KLOSIA_FIXTURE_PATH),
                 {QStringLiteral("--class"), QStringLiteral("bare,BareFixture")});
    ASSERT_TRUE(client.waitForStarted(10000));
    RunningApplicationPtr app;
    ASSERT_TRUE(waitUntil([&] {
        for (const RunningApplicationPtr& candidate : workspace->runningApplications()) {
            if (candidate->processIdentifier() == static_cast<pid_t>(client.processId())) {
                app = candidate;
            }
        }
        return app != nullptr;
    })) << "the client's window is not listed without a window manager";
    EXPECT_EQ(app->bundleIdentifier(), QStringLiteral("BareFixture"));
    EXPECT_EQ(app->activationPolicy(), ActivationPolicy::regular);
    EXPECT_TRUE(app->activate());

    test::LogCapture capture;
    EXPECT_TRUE(app->terminate());
    ASSERT_TRUE(waitUntil([&] { return client.state() == QProcess::NotRunning; }));
    // Closed by its own answer to WM_DELETE_WINDOW: neither a signal nor a cut connection.
    EXPECT_EQ(client.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client.exitCode(), 0);
    EXPECT_EQ(capture.matching("directly (no window manager)").size(), 1U);
    EXPECT_TRUE(capture.matching("sent SIG").empty());
    EXPECT_TRUE(waitUntil([&] { return app->isTerminated(); }));
}

TEST(NoWindowManagerSessionTest, TheFocusedApplicationIsActive) {
    if (!noWindowManager()) {
        GTEST_SKIP() << "runs only in a session started with --no-wm";
    }
    QString error;
    const std::unique_ptr<Workspace> workspace = createX11Workspace(&error);
    ASSERT_NE(workspace, nullptr) << error.toStdString();
    auto first = fixture(QStringLiteral("FocusOne"));
    auto second = fixture(QStringLiteral("FocusTwo"));
    const RunningApplicationPtr one = waitFor(*workspace, first->pid());
    const RunningApplicationPtr two = waitFor(*workspace, second->pid());
    ASSERT_TRUE(one && two);
    // Nobody keeps _NET_ACTIVE_WINDOW here: the keyboard's window is the active one.
    ASSERT_TRUE(one->activate());
    EXPECT_TRUE(isFrontmost(*workspace, one));
    EXPECT_TRUE(one->isActive());
    ASSERT_TRUE(two->activate());
    EXPECT_TRUE(isFrontmost(*workspace, two));
    EXPECT_FALSE(one->isActive());
}

TEST(NoWindowManagerSessionTest, AManagerWithoutEwmhIsNeverListedNorSignalled) {
    if (!noWindowManager()) {
        GTEST_SKIP() << "runs only in a session started with --no-wm";
    }
    Client manager(QStringLiteral(KLOSIA_WM_FIXTURE_PATH), {});
    ASSERT_TRUE(manager.line(QStringLiteral("ready"))) << "the window manager did not start";
    const std::uint64_t managerStart = ProcessInfo::startTime(manager.pid()).value_or(0);
    QString error;
    const std::unique_ptr<Workspace> workspace = createX11Workspace(&error);
    ASSERT_NE(workspace, nullptr) << error.toStdString();

    auto first = fixture(QStringLiteral("FramedOne"));
    auto second = fixture(QStringLiteral("FramedTwo"));
    ASSERT_TRUE(manager.line(QStringLiteral("managed")));
    const RunningApplicationPtr one = waitFor(*workspace, first->pid());
    const RunningApplicationPtr two = waitFor(*workspace, second->pid());
    ASSERT_TRUE(one && two) << "the windows inside the frames are not listed";
    EXPECT_EQ(one->bundleIdentifier(), QStringLiteral("FramedOne"));
    EXPECT_EQ(one->activationPolicy(), ActivationPolicy::regular);
    // The manager gives the newest window the keyboard.
    EXPECT_TRUE(isFrontmost(*workspace, two));

    test::LogCapture capture;
    // Quitting everything that is listed, as the main button does.
    for (const RunningApplicationPtr& app : workspace->runningApplications()) {
        EXPECT_NE(app->processIdentifier(), manager.pid()) << "the window manager is listed";
        app->terminate();
    }
    ASSERT_TRUE(first->hasExited());
    ASSERT_TRUE(second->hasExited());
    EXPECT_EQ(first->process().exitCode(), 0);
    EXPECT_TRUE(capture.matching("sent SIG").empty());
    EXPECT_TRUE(ProcessControl::isAlive(manager.pid(), managerStart));
    for (const RunningApplicationPtr& app : workspace->runningApplications()) {
        EXPECT_NE(app->processIdentifier(), manager.pid()) << "the window manager is listed";
    }
}

}  // namespace
}  // namespace klosia
