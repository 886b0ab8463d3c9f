// The X workspace on a desktop without a window manager (run-session.sh --no-wm): there is no
// client list and nobody takes _NET_CLOSE_WINDOW, yet applications are listed and a polite quit
// still reaches them.
#include <gtest/gtest.h>

#include <QProcess>

#include <memory>

#include "platform/x11/X11Workspace.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using test::waitUntil;

TEST(NoWindowManagerSessionTest, PoliteQuitStillClosesTheWindow) {
    if (qEnvironmentVariable("KLOSIA_SESSION_WM") != QLatin1String("none")) {
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

}  // namespace
}  // namespace klosia
