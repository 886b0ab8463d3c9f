// A window whose X client connected from a process that has since exited, leaving its connection
// to a child: the server goes on naming the pid that connected, and the kernel may give that pid
// to any new process. Run in a pid namespace of our own (in-pid-namespace.sh), where the test
// chooses which process gets the freed pid: an unrelated `sleep`, which must never be taken for
// the window's owner, nor be signalled.
#include <gtest/gtest.h>

#include <QFile>
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
using test::Orphan;
using test::waitUntil;

bool setLastPid(pid_t pid) {
    QFile file(QStringLiteral("/proc/sys/kernel/ns_last_pid"));
    return file.open(QIODevice::WriteOnly) && file.write(QByteArray::number(pid)) > 0;
}

// Starts `sleep` as the process that takes `pid` next; nullptr when another process got it
// first (anything that runs may take a pid).
std::unique_ptr<QProcess> sleepAs(pid_t pid) {
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (!setLastPid(pid - 1)) {
            return nullptr;
        }
        auto sleeper = std::make_unique<QProcess>();
        sleeper->start(QStringLiteral("sleep"), {QStringLiteral("600")});
        if (sleeper->waitForStarted(5000) && sleeper->processId() == pid) {
            return sleeper;
        }
        sleeper->kill();
        sleeper->waitForFinished(5000);
    }
    return nullptr;
}

TEST(PidReuseSessionTest, AReusedPidIsNeverTakenForTheWindowsOwner) {
    if (qEnvironmentVariable("KLOSIA_PRIVATE_PID_NAMESPACE") != QLatin1String("1") ||
        !setLastPid(ProcessInfo::listPids().back())) {
        GTEST_SKIP() << "runs only in a pid namespace of its own (in-pid-namespace.sh)";
    }
    // No _NET_WM_PID, and no WM_DELETE_WINDOW: a polite quit of a process without a window that
    // can be asked would be SIGTERM.
    Client client(QStringLiteral(KLOSIA_FIXTURE_PATH),
                  {QStringLiteral("--fork-keep-window"), QStringLiteral("--no-pid"),
                   QStringLiteral("--no-delete-protocol"), QStringLiteral("--class"),
                   QStringLiteral("handed,HandedOnFixture")});
    const pid_t connected = client.pid();
    const std::optional<QString> keeperLine = client.line(QStringLiteral("keeper "));
    ASSERT_TRUE(keeperLine.has_value());
    const Orphan keeper(keeperLine->mid(7).toInt());
    ASSERT_TRUE(client.hasExited());
    ASSERT_TRUE(keeper.isRunning());

    const std::unique_ptr<QProcess> sleeper = sleepAs(connected);
    ASSERT_NE(sleeper, nullptr) << "no process could be started as pid " << connected;
    const std::uint64_t sleeperStart = ProcessInfo::startTime(connected).value_or(0);

    QString error;
    const std::unique_ptr<Workspace> workspace = createX11Workspace(&error);
    ASSERT_NE(workspace, nullptr) << error.toStdString();
    RunningApplicationPtr app;
    ASSERT_TRUE(waitUntil([&] {
        for (const RunningApplicationPtr& candidate : workspace->runningApplications()) {
            EXPECT_NE(candidate->processIdentifier(), connected) << "the sleep is listed";
            if (candidate->bundleIdentifier() == QStringLiteral("HandedOnFixture")) {
                app = candidate;
            }
        }
        return app != nullptr;
    })) << "the window is not listed";
    // Nothing proves which local process is the window's: it is listed as a remote client is.
    EXPECT_EQ(app->processIdentifier(), 0);

    test::LogCapture capture;
    app->terminate();
    EXPECT_TRUE(capture.matching("sent SIG").empty());
    EXPECT_TRUE(ProcessControl::isAlive(connected, sleeperStart));
    // Force quit cuts the client's connection; the keeper loses its windows and exits.
    EXPECT_TRUE(app->forceTerminate());
    EXPECT_TRUE(waitUntil([&] { return !keeper.isRunning(); }));
    EXPECT_TRUE(capture.matching("sent SIG").empty());
    EXPECT_TRUE(ProcessControl::isAlive(connected, sleeperStart));
    sleeper->kill();
    sleeper->waitForFinished(5000);
}

}  // namespace
}  // namespace klosia
