// The Wayland workspace on a real KWin (run-wayland-session.sh --kwin: virtual, unprivileged)
// with a terminal (weston-terminal), a Qt program, and a GTK 4 program that holds unsaved work.
// KWin shows its window list only to a program an installed desktop file grants it to: refused,
// Klosia says so and shows nothing; granted, each client is listed once with the pid KWin vouches
// for, a polite quit closes windows (the unsaved one refuses and stays), and force quit kills.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include <algorithm>
#include <memory>

#include "platform/RunningApplication.h"
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

const QString kKlosia = QStringLiteral(KLOSIA_EXECUTABLE);

RunningApplicationPtr ofPid(WaylandWorkspace& workspace, pid_t pid) {
    for (const RunningApplicationPtr& app : workspace.runningApplications()) {
        if (app->processIdentifier() == pid) {
            return app;
        }
    }
    return nullptr;
}

class KWinWorkspace : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(qEnvironmentVariable("KLOSIA_SESSION_COMPOSITOR").toStdString(), "kwin");
    }
};

// First: KWin decides once per connection, and this one must come before any grant.
TEST_F(KWinWorkspace, WithoutTheDesktopFileGrantTheListIsRefusedAndSaidSo) {
    // KWin is told from the globals it offers, not from what the session calls itself.
    const QByteArray desktop = qgetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("XDG_CURRENT_DESKTOP");
    QString error;
    EXPECT_EQ(createWaylandWorkspace(&error, nullptr, WaylandWorkspace::Updates::onCall), nullptr);
    EXPECT_TRUE(error.contains(QLatin1String("X-KDE-Wayland-Interfaces"))) << error.toStdString();

    QProcess list;
    list.start(kKlosia, {QStringLiteral("--list")});
    ASSERT_TRUE(list.waitForFinished(30000));
    EXPECT_EQ(list.exitCode(), 1);
    EXPECT_TRUE(list.readAllStandardOutput().isEmpty())
        << "no list that would pass for the desktop";
    const QString message = QString::fromUtf8(list.readAllStandardError());
    EXPECT_TRUE(
        message.contains(QLatin1String("does not let Klosia see other applications' windows")))
        << message.toStdString();
    EXPECT_TRUE(message.contains(QLatin1String("X-KDE-Wayland-Interfaces"))) << "how to get it";
    qputenv("XDG_CURRENT_DESKTOP", desktop);
}

TEST_F(KWinWorkspace, GrantedEachClientOnceWithItsPidAPoliteQuitThatMayBeRefusedAndAForceQuit) {
    ASSERT_TRUE(test::grantWindowList(QStringLiteral("klosia-tests"),
                                      QCoreApplication::applicationFilePath()));
    ASSERT_TRUE(test::grantWindowList(QStringLiteral("klosia-build"), kKlosia));
    Client terminal(QStringLiteral("weston-terminal"), {});
    Client plain(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.plain")});
    Client unsaved(kGtkFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.unsaved"),
                                 QStringLiteral("--unsaved")});
    ASSERT_TRUE(plain.waitExposed());
    ASSERT_TRUE(unsaved.waitExposed());

    // KWin notices a new desktop file a moment after it appears.
    QString error;
    std::unique_ptr<WaylandWorkspace> listed;
    ASSERT_TRUE(waitUntil([&] {
        listed = createWaylandWorkspace(&error, nullptr, WaylandWorkspace::Updates::onCall);
        return listed != nullptr;
    })) << error.toStdString();
    EXPECT_TRUE(listed->description().contains(QLatin1String("pids from the compositor")))
        << listed->description().toStdString();
    ASSERT_TRUE(waitUntil([&] {
        return ofPid(*listed, terminal.pid()) && ofPid(*listed, plain.pid()) &&
               ofPid(*listed, unsaved.pid());
    })) << "the three clients were never all listed with their pids";
    const auto apps = listed->runningApplications();
    for (const pid_t pid : {terminal.pid(), plain.pid(), unsaved.pid()}) {
        EXPECT_EQ(std::count_if(apps.begin(), apps.end(),
                                [&](const auto& app) { return app->processIdentifier() == pid; }),
                  1);
    }
    const RunningApplicationPtr qt = ofPid(*listed, plain.pid());
    const RunningApplicationPtr refusing = ofPid(*listed, unsaved.pid());
    EXPECT_EQ(qt->bundleIdentifier().toStdString(), "klosia.test.plain");
    // One of them has the focus, whichever the compositor gave it last; raising another from
    // its row brings that one to the front.
    const RunningApplicationPtr term = ofPid(*listed, terminal.pid());
    RunningApplicationPtr front;
    EXPECT_TRUE(waitUntil([&] {
        listed->runningApplications();
        front = listed->frontmostApplication();
        return front && (front == term || front == qt || front == refusing);
    })) << "none of them has the focus";
    const RunningApplicationPtr behind = front == qt ? refusing : qt;
    EXPECT_TRUE(behind->activate());
    EXPECT_TRUE(waitUntil([&] {
        listed->runningApplications();
        return listed->frontmostApplication() == behind;
    })) << "the activated application did not come to the front";

    QProcess list;
    list.start(kKlosia, {QStringLiteral("--list")});
    ASSERT_TRUE(list.waitForFinished(30000));
    const QString table = QString::fromUtf8(list.readAllStandardOutput());
    EXPECT_EQ(list.exitCode(), 0);
    EXPECT_TRUE(table.contains(QLatin1String("(workspace: wayland (KDE plasma window management")))
        << table.toStdString();
    EXPECT_TRUE(table.contains(QString::number(unsaved.pid())));

    test::LogCapture log;
    EXPECT_TRUE(term->terminate());
    EXPECT_TRUE(qt->terminate());
    EXPECT_TRUE(refusing->terminate());
    EXPECT_TRUE(terminal.waitEnded()) << "the terminal closes when its window is asked to";
    EXPECT_TRUE(plain.waitEnded());
    EXPECT_TRUE(waitUntil([&] { return plain.output().contains("closing"); }))
        << "it closed itself";
    EXPECT_TRUE(log.matching("SIGKILL to pid " + std::to_string(plain.pid())).empty())
        << "closed, not signalled";
    EXPECT_TRUE(waitUntil([&] { return unsaved.output().contains("refused a close"); }));
    EXPECT_TRUE(unsaved.running()) << "unsaved work is never lost to a polite quit";

    EXPECT_TRUE(refusing->forceTerminate());
    EXPECT_TRUE(unsaved.waitEnded());
    EXPECT_FALSE(log.matching("sent SIGKILL to pid " + std::to_string(unsaved.pid())).empty())
        << "killed by a signal";
}

}  // namespace
}  // namespace klosia
