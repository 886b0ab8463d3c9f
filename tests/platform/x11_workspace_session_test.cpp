// The X workspace against real clients in the virtual desktop: xterm, xclock, xlogo and the
// fixture client, whose window behaviour each test picks by option.
#include <gtest/gtest.h>

#include "support/Wait.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "model/QuitTargets.h"
#include "platform/linux/ProcessControl.h"
#include "platform/linux/ProcessInfo.h"
#include "platform/x11/X11RunningApplication.h"
#include "platform/x11/X11Snapshot.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/XcbConnection.h"
#include "support/LogCapture.h"
#include "support/session/ClientProcess.h"

namespace klosia {
namespace {

const QString kFixture = QStringLiteral(KLOSIA_FIXTURE_PATH);

using test::waitUntil;

using test::Client;
using test::Orphan;

class X11WorkspaceSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        workspace = createX11Workspace(&error);
        ASSERT_NE(workspace, nullptr) << error.toStdString();
    }

    RunningApplicationPtr find(pid_t pid) {
        for (const RunningApplicationPtr& app : workspace->runningApplications()) {
            if (app->processIdentifier() == pid) {
                return app;
            }
        }
        return nullptr;
    }
    RunningApplicationPtr waitFor(pid_t pid) {
        RunningApplicationPtr app;
        waitUntil([&] { return (app = find(pid)) != nullptr; });
        return app;
    }
    // Waits until the window manager lists `count` windows of the process.
    bool waitForWindows(pid_t pid, std::size_t count) {
        QString error;
        const std::shared_ptr<XcbConnection> connection = XcbConnection::open(&error);
        return connection && waitUntil([&] {
                   const X11Snapshot snapshot = X11Snapshot::take(*connection, false);
                   return static_cast<std::size_t>(std::count_if(
                              snapshot.windows.begin(), snapshot.windows.end(),
                              [&](const WindowRecord& w) { return w.owner.pid == pid; })) == count;
               });
    }
    std::unique_ptr<Client> fixture(const QStringList& arguments) {
        auto client = std::make_unique<Client>(kFixture, arguments);
        EXPECT_TRUE(client->line(QStringLiteral("ready"))) << "the fixture did not map its window";
        return client;
    }

    std::unique_ptr<Workspace> workspace;
};

TEST_F(X11WorkspaceSessionTest, ListsRealClientsInAStableOrder) {
    Client xterm(QStringLiteral("xterm"), {});
    Client xclock(QStringLiteral("xclock"), {});
    Client xlogo(QStringLiteral("xlogo"), {});  // sets no _NET_WM_PID: the server knows its pid

    const RunningApplicationPtr term = waitFor(xterm.pid());
    const RunningApplicationPtr clock = waitFor(xclock.pid());
    const RunningApplicationPtr logo = waitFor(xlogo.pid());
    ASSERT_TRUE(term && clock && logo);
    EXPECT_EQ(logo->bundleIdentifier(), QStringLiteral("XLogo"));
    EXPECT_EQ(logo->localizedName(), QStringLiteral("XLogo"));
    EXPECT_EQ(clock->bundleIdentifier(), QStringLiteral("XClock"));
    if (QFile::exists(QStringLiteral("/usr/share/applications/debian-xterm.desktop"))) {
        EXPECT_EQ(term->bundleIdentifier(), QStringLiteral("debian-xterm"));
    }
    for (const auto& app : {term, clock, logo}) {
        EXPECT_EQ(app->activationPolicy(), ActivationPolicy::regular);
        EXPECT_FALSE(app->isTerminated());
        EXPECT_EQ(app->startTime(), ProcessInfo::startTime(app->processIdentifier()).value_or(0));
    }

    const std::vector<RunningApplicationPtr> first = workspace->runningApplications();
    for (const RunningApplicationPtr& app : first) {
        // The panel is a dock window and we never list ourselves.
        EXPECT_NE(app->bundleIdentifier().toLower(), QStringLiteral("tint2"));
        EXPECT_NE(app->processIdentifier(), ::getpid());
    }
    // The same handles in the same order, and a newcomer goes to the end.
    auto newcomer = fixture({});
    const RunningApplicationPtr added = waitFor(newcomer->pid());
    const std::vector<RunningApplicationPtr> second = workspace->runningApplications();
    ASSERT_GE(second.size(), first.size() + 1);
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(second[i], first[i]) << "place " << i;
    }
    EXPECT_EQ(second.back(), added);
    EXPECT_EQ(added->bundleIdentifier(), QStringLiteral("KlosiaFixture"));
}

TEST_F(X11WorkspaceSessionTest, NamesComeFromTheInstalledDesktopEntry) {
    const QString dir = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path = dir + QStringLiteral("/org.klosia.test.FixtureApp.desktop");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "[Desktop Entry]\nType=Application\nName=Fixture App\nName[de]=Testanwendung\n"
            "Exec=true\nIcon=klosia-test-missing-icon\nStartupWMClass=KlosiaTestApp\n");
    }
    const QByteArray language = qgetenv("LANGUAGE");
    qputenv("LANGUAGE", "de");
    QString error;
    workspace = createX11Workspace(&error);  // reads the entries now, in German
    qputenv("LANGUAGE", language);
    ASSERT_NE(workspace, nullptr);

    auto client = fixture({QStringLiteral("--class"), QStringLiteral("klosiatest,KlosiaTestApp"),
                           QStringLiteral("--icon")});
    auto plain = fixture({QStringLiteral("--class"), QStringLiteral("plain,PlainFixture")});
    const RunningApplicationPtr app = waitFor(client->pid());
    const RunningApplicationPtr other = waitFor(plain->pid());
    QFile::remove(path);
    ASSERT_TRUE(app && other);
    EXPECT_EQ(app->bundleIdentifier(), QStringLiteral("org.klosia.test.FixtureApp"));
    EXPECT_EQ(app->localizedName(), QStringLiteral("Testanwendung"));
    // The entry's icon is not installed: the window's own icon (16x16 red) stands in, read when
    // it is asked for.
    const QIcon icon = app->icon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(16, 16)));
    EXPECT_EQ(icon.pixmap(QSize(16, 16)).toImage().pixel(8, 8), 0xffd02020U);
    EXPECT_EQ(other->bundleIdentifier(), QStringLiteral("PlainFixture"));
    EXPECT_EQ(other->localizedName(), QStringLiteral("PlainFixture"));
}

TEST_F(X11WorkspaceSessionTest, TheLargestIconSizeIsRead) {
    // 1024x1024 pixels and the two header items: the whole property must fit the read.
    auto client = fixture({QStringLiteral("--icon-size"), QStringLiteral("1024")});
    const RunningApplicationPtr app = waitFor(client->pid());
    ASSERT_TRUE(app);
    const QIcon icon = app->icon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_TRUE(icon.availableSizes().contains(QSize(1024, 1024)));
}

TEST_F(X11WorkspaceSessionTest, IdentityFollowsALateClassAndANewDesktopEntry) {
    auto client = fixture({QStringLiteral("--no-class")});
    const pid_t pid = client->pid();
    const RunningApplicationPtr app = waitFor(pid);
    ASSERT_TRUE(app);
    EXPECT_EQ(app->bundleIdentifier(), QStringLiteral("klosia_fixture"));  // its program file

    // The client names its class only after its window is up, as some toolkits do.
    QString error;
    const std::shared_ptr<XcbConnection> connection = XcbConnection::open(&error);
    ASSERT_TRUE(connection) << error.toStdString();
    std::uint32_t window = 0;
    for (const WindowRecord& record : X11Snapshot::take(*connection, false).windows) {
        if (record.owner.pid == pid) {
            window = record.id;
        }
    }
    ASSERT_NE(window, 0U);
    const char wmClass[] = "latecomer\0LateComer";  // with the terminating NUL: both strings
    xcb_change_property(connection->get(), XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, sizeof wmClass, wmClass);
    xcb_flush(connection->get());
    EXPECT_TRUE(waitUntil([&] {
        workspace->runningApplications();
        return app->bundleIdentifier() == QStringLiteral("LateComer");
    })) << app->bundleIdentifier().toStdString();

    // Then an entry for it is installed while it runs.
    const QString dir = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString path = dir + QStringLiteral("/org.klosia.test.LateComer.desktop");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "[Desktop Entry]\nType=Application\nName=Late Comer\nExec=true\n"
            "StartupWMClass=LateComer\n");
    }
    EXPECT_TRUE(waitUntil([&] {
        workspace->runningApplications();
        return app->bundleIdentifier() == QStringLiteral("org.klosia.test.LateComer");
    })) << app->bundleIdentifier().toStdString();
    EXPECT_EQ(app->localizedName(), QStringLiteral("Late Comer"));
    QFile::remove(path);
}

TEST_F(X11WorkspaceSessionTest, ActiveApplicationFollowsActivation) {
    auto first = fixture({QStringLiteral("--title"), QStringLiteral("first")});
    auto second = fixture({QStringLiteral("--title"), QStringLiteral("second")});
    const RunningApplicationPtr a = waitFor(first->pid());
    const RunningApplicationPtr b = waitFor(second->pid());
    ASSERT_TRUE(a && b);

    for (const auto& [target, other] : {std::pair{a, b}, std::pair{b, a}, std::pair{a, b}}) {
        ASSERT_TRUE(target->activate());
        EXPECT_TRUE(waitUntil([&] {
            const RunningApplicationPtr front = workspace->frontmostApplication();
            return front == target;
        })) << "pid "
            << target->processIdentifier() << " did not come to the front";
        EXPECT_TRUE(target->isActive());
        EXPECT_FALSE(other->isActive());
    }
}

TEST_F(X11WorkspaceSessionTest, PoliteQuitClosesWindowsAndTheProcessEnds) {
    Client xclock(QStringLiteral("xclock"), {});
    auto client = fixture({QStringLiteral("--windows"), QStringLiteral("3")});
    const RunningApplicationPtr clock = waitFor(xclock.pid());
    const RunningApplicationPtr app = waitFor(client->pid());
    ASSERT_TRUE(clock && app);
    ASSERT_TRUE(waitForWindows(client->pid(), 3));
    test::LogCapture capture;

    EXPECT_TRUE(clock->terminate());
    EXPECT_TRUE(app->terminate());
    ASSERT_TRUE(xclock.hasExited());
    ASSERT_TRUE(client->hasExited());
    // Closed by the window manager's WM_DELETE_WINDOW, not by a signal or a killed connection.
    EXPECT_EQ(client->process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client->process().exitCode(), 0);
    EXPECT_TRUE(capture.matching("sent SIGTERM").empty());
    EXPECT_EQ(capture.matching("to close 3 window(s)").size(), 1U);
    EXPECT_TRUE(waitUntil([&] { return app->isTerminated() && clock->isTerminated(); }));
    EXPECT_FALSE(app->terminate());
}

TEST_F(X11WorkspaceSessionTest, NoSigtermWhileAWindowCanBeAskedToClose) {
    // Window 1 cannot be asked (no WM_DELETE_WINDOW); window 2 can, and may hold unsaved work.
    auto client = fixture({QStringLiteral("--windows"), QStringLiteral("2"),
                           QStringLiteral("--no-delete-protocol-on"), QStringLiteral("1")});
    const pid_t pid = client->pid();
    const RunningApplicationPtr app = waitFor(pid);
    ASSERT_TRUE(app);
    ASSERT_TRUE(waitForWindows(pid, 2));
    test::LogCapture capture;

    EXPECT_TRUE(app->terminate());
    ASSERT_TRUE(client->line(QStringLiteral("closed 2")));
    EXPECT_TRUE(capture.matching("sent SIGTERM").empty());
    EXPECT_EQ(capture.matching("1 window(s) without WM_DELETE_WINDOW left open").size(), 1U);
    EXPECT_EQ(client->process().state(), QProcess::Running);
    EXPECT_FALSE(app->isTerminated());

    // Only the window that cannot be asked is left (the closed one is destroyed, so no new look
    // at the windows can see it): now SIGTERM is the polite request.
    capture.clear();
    EXPECT_TRUE(app->terminate());
    ASSERT_TRUE(client->hasExited());
    EXPECT_EQ(client->process().exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(capture.matching("sent SIGTERM to pid " + std::to_string(pid)).size(), 1U);
}

TEST_F(X11WorkspaceSessionTest, ProcessesOfTheDesktopAreNeverListed) {
    // A panel (a dock window) that also has an ordinary window, like a file manager drawing the
    // desktop, next to an ordinary client.
    auto panel = fixture({QStringLiteral("--windows"), QStringLiteral("2"),
                          QStringLiteral("--dock-on"), QStringLiteral("1")});
    auto ordinary = fixture({});
    ASSERT_TRUE(waitFor(ordinary->pid()));
    const std::vector<RunningApplicationPtr> apps = workspace->runningApplications();
    for (const RunningApplicationPtr& app : apps) {
        EXPECT_NE(app->processIdentifier(), panel->pid()) << "a panel's process is listed";
        EXPECT_NE(app->bundleIdentifier(), QStringLiteral("Openbox"));
    }
    // Neither is the window manager, nor the tray's panel.
    for (const char* name : {"openbox", "tint2"}) {
        for (const pid_t pid : ProcessInfo::listPids()) {
            if (ProcessInfo::exePath(pid).endsWith(QLatin1Char('/') + QLatin1String(name))) {
                EXPECT_EQ(find(pid), nullptr) << name;
            }
        }
    }
}

TEST_F(X11WorkspaceSessionTest, ClientIgnoringTheRequestSurvivesUntilForced) {
    auto client = fixture({QStringLiteral("--ignore-close")});
    const RunningApplicationPtr app = waitFor(client->pid());
    ASSERT_TRUE(app);

    EXPECT_TRUE(app->terminate());
    ASSERT_TRUE(client->stderrContains(QStringLiteral("ignoring a close request")));
    EXPECT_EQ(client->process().state(), QProcess::Running);
    EXPECT_FALSE(app->isTerminated());

    EXPECT_TRUE(app->forceTerminate());
    ASSERT_TRUE(client->hasExited());
    EXPECT_EQ(client->process().exitStatus(), QProcess::CrashExit);
    EXPECT_TRUE(app->isTerminated());
}

TEST_F(X11WorkspaceSessionTest, ClientWithoutDeleteProtocolGetsSigtermInstead) {
    auto client = fixture({QStringLiteral("--no-delete-protocol"), QStringLiteral("--no-pid")});
    const pid_t pid = client->pid();
    const RunningApplicationPtr app = waitFor(pid);
    ASSERT_TRUE(app);
    test::LogCapture capture;

    EXPECT_TRUE(app->terminate());
    ASSERT_TRUE(client->hasExited());
    // A killed X connection would have ended the fixture normally; SIGTERM ends it by signal.
    EXPECT_EQ(client->process().exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(capture.matching("sent SIGTERM to pid " + std::to_string(pid)).size(), 1U);
    EXPECT_TRUE(capture.matching("window(s)").empty());
}

TEST_F(X11WorkspaceSessionTest, EndedOrMismatchedProcessesAreNeverSignalled) {
    auto client = fixture({});
    const RunningApplicationPtr app = waitFor(client->pid());
    ASSERT_TRUE(app);
    client->process().kill();
    ASSERT_TRUE(client->hasExited());

    test::LogCapture capture;
    EXPECT_TRUE(app->isTerminated());
    EXPECT_FALSE(app->terminate());
    EXPECT_FALSE(app->forceTerminate());
    EXPECT_FALSE(app->activate());

    // A handle whose start time is not the process's: the pid names another process.
    auto live = fixture({});
    const std::uint64_t start = ProcessInfo::startTime(live->pid()).value_or(0);
    ASSERT_NE(start, 0U);
    X11RunningApplication fake(nullptr, live->pid(), start + 1);
    EXPECT_TRUE(fake.isTerminated());
    EXPECT_FALSE(fake.terminate());
    EXPECT_FALSE(fake.forceTerminate());
    EXPECT_TRUE(capture.matching("sent SIG").empty());
    EXPECT_TRUE(ProcessControl::isAlive(live->pid(), start));
}

TEST_F(X11WorkspaceSessionTest, AuxiliaryWindowsAndHelpersAreBackgroundApplications) {
    auto skip = fixture({QStringLiteral("--skip-taskbar")});
    auto utility = fixture({QStringLiteral("--utility")});
    auto parent = fixture({QStringLiteral("--class"), QStringLiteral("helperapp,HelperApp"),
                           QStringLiteral("--spawn-helper")});
    const QString helperLine = parent->line(QStringLiteral("helper ")).value_or(QString());
    ASSERT_FALSE(helperLine.isEmpty());
    const Orphan helper(helperLine.mid(7).toInt());

    EXPECT_EQ(waitFor(skip->pid())->activationPolicy(), ActivationPolicy::accessory);
    EXPECT_EQ(waitFor(utility->pid())->activationPolicy(), ActivationPolicy::accessory);
    const RunningApplicationPtr application = waitFor(parent->pid());
    const RunningApplicationPtr background = waitFor(helper.pid);
    ASSERT_TRUE(application && background);
    EXPECT_EQ(application->activationPolicy(), ActivationPolicy::regular);
    EXPECT_EQ(background->activationPolicy(), ActivationPolicy::prohibited);
    EXPECT_EQ(background->bundleIdentifier(), QStringLiteral("HelperApp"));
    EXPECT_EQ(background->localizedName(), application->localizedName());
    EXPECT_FALSE(background->isActive());
    // It ends with its application: a polite quit of both asks the application alone.
    EXPECT_EQ(background->helperOf(), application->processIdentifier());
    EXPECT_EQ(application->helperOf(), 0);
    EXPECT_EQ(politeQuitTargets({application, background}),
              std::vector<RunningApplicationPtr>{application});

    // Without a window the polite request is SIGTERM.
    test::LogCapture capture;
    EXPECT_TRUE(background->terminate());
    EXPECT_TRUE(waitUntil([&] { return background->isTerminated(); }));
    EXPECT_EQ(capture.matching("sent SIGTERM to pid " + std::to_string(helper.pid)).size(), 1U);
    EXPECT_FALSE(application->isTerminated());
}

TEST_F(X11WorkspaceSessionTest, TheUsersJobUnderAShellIsNoHelper) {
    // The job runs the application's own program, but a shell stands between the two.
    auto parent = fixture({QStringLiteral("--class"), QStringLiteral("jobapp,JobApp"),
                           QStringLiteral("--job-under-shell")});
    const std::optional<QString> jobLine = parent->line(QStringLiteral("job "));
    ASSERT_TRUE(jobLine.has_value());
    const Orphan job(jobLine->mid(4).toInt());
    ASSERT_TRUE(waitFor(parent->pid()));
    // Scans come while the test asks; none of them may list the job.
    const std::uint64_t scans = dynamic_cast<X11Workspace&>(*workspace).scansApplied();
    waitUntil(
        [&] {
            EXPECT_EQ(find(job.pid), nullptr) << "the user's job is listed as a helper";
            return dynamic_cast<X11Workspace&>(*workspace).scansApplied() > scans + 2;
        },
        std::chrono::seconds(5));
    EXPECT_GT(dynamic_cast<X11Workspace&>(*workspace).scansApplied(), scans + 2);
    EXPECT_TRUE(job.isRunning());
}

TEST_F(X11WorkspaceSessionTest, ProcessWithOnlyATrayIconIsAccessory) {
    auto client = fixture({QStringLiteral("--tray-only")});
    const RunningApplicationPtr app = waitFor(client->pid());
    ASSERT_TRUE(app) << "the tray icon's process is not listed";
    EXPECT_EQ(app->activationPolicy(), ActivationPolicy::accessory);
    // No window carries a class: the program file names it.
    EXPECT_EQ(app->bundleIdentifier(), QStringLiteral("klosia_fixture"));
    EXPECT_FALSE(app->activate());
}

TEST_F(X11WorkspaceSessionTest, ReportsLaunchesAndTerminations) {
    std::vector<pid_t> launched;
    std::vector<pid_t> terminated;
    workspace->setDidLaunchHandler(
        [&](const RunningApplicationPtr& app) { launched.push_back(app->processIdentifier()); });
    workspace->setDidTerminateHandler([&](const RunningApplicationPtr& app) {
        EXPECT_TRUE(app->isTerminated());
        terminated.push_back(app->processIdentifier());
    });

    // Nothing here asks for the list: the notifications come from the desktop's own events.
    auto client = fixture({});
    const pid_t pid = client->pid();
    ASSERT_TRUE(waitUntil([&] { return std::count(launched.begin(), launched.end(), pid) > 0; }));
    EXPECT_TRUE(terminated.empty());

    const RunningApplicationPtr app = find(pid);
    ASSERT_TRUE(app);
    ASSERT_TRUE(app->terminate());
    ASSERT_TRUE(waitUntil([&] { return !terminated.empty(); }));
    EXPECT_EQ(terminated, std::vector<pid_t>{pid});
    EXPECT_EQ(std::count(launched.begin(), launched.end(), pid), 1);
    EXPECT_EQ(find(pid), nullptr);
}

}  // namespace
}  // namespace klosia
