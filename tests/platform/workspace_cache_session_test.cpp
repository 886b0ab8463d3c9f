// The X workspace's cached list against real clients: scans run off the main thread, a focus
// change is one property read, and notifications never disagree with the list.
#include <gtest/gtest.h>

#include <QIcon>
#include <QProcess>

#include <algorithm>
#include <memory>
#include <thread>
#include <vector>

#include "platform/x11/X11Workspace.h"
#include "platform/x11/XcbConnection.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using test::waitUntil;

// A fixture client we start; killed by pid when the test ends, whatever happened.
class Fixture {
public:
    explicit Fixture(const QStringList& arguments) {
        process_.start(QStringLiteral(KLOSIA_FIXTURE_PATH), arguments);
        ready_ = process_.waitForStarted(10000);
        pid_ = static_cast<pid_t>(process_.processId());
        ready_ = ready_ &&
                 waitUntil([this] { return process_.readAllStandardOutput().contains("ready"); });
    }
    ~Fixture() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    bool ready() const { return ready_; }
    pid_t pid() const { return pid_; }  // also once it has ended
    void kill() { process_.kill(); }

private:
    QProcess process_;
    pid_t pid_ = 0;
    bool ready_ = false;
};

bool lists(Workspace& workspace, const RunningApplicationPtr& app) {
    const std::vector<RunningApplicationPtr> apps = workspace.runningApplications();
    return std::find(apps.begin(), apps.end(), app) != apps.end();
}

RunningApplicationPtr waitFor(Workspace& workspace, pid_t pid) {
    RunningApplicationPtr found;
    waitUntil([&] {
        for (const RunningApplicationPtr& app : workspace.runningApplications()) {
            if (app->processIdentifier() == pid) {
                found = app;
            }
        }
        return found != nullptr;
    });
    return found;
}

std::unique_ptr<X11Workspace> open(X11Workspace::Updates updates) {
    QString error;
    std::shared_ptr<XcbConnection> connection = XcbConnection::open(&error);
    EXPECT_TRUE(connection) << error.toStdString();
    return connection ? std::make_unique<X11Workspace>(std::move(connection), updates) : nullptr;
}

TEST(WorkspaceCacheSessionTest, AFocusChangeIsOnePropertyReadNotAScan) {
    const auto workspace = open(X11Workspace::Updates::followDesktop);
    ASSERT_TRUE(workspace);
    Fixture first({QStringLiteral("--title"), QStringLiteral("first")});
    Fixture second({QStringLiteral("--title"), QStringLiteral("second")});
    ASSERT_TRUE(first.ready() && second.ready());
    const RunningApplicationPtr a = waitFor(*workspace, first.pid());
    const RunningApplicationPtr b = waitFor(*workspace, second.pid());
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(waitUntil([&] { return !workspace->isRefreshing(); }));

    const std::uint64_t scans = workspace->scansApplied();
    const std::uint64_t reads = workspace->activeWindowReads();
    for (const auto& [target, other] : {std::pair{a, b}, std::pair{b, a}, std::pair{a, b}}) {
        ASSERT_TRUE(target->activate());
        EXPECT_TRUE(waitUntil([&, &target = target, &other = other] {
            return target->isActive() && !other->isActive() &&
                   workspace->frontmostApplication() == target;
        })) << "pid "
            << target->processIdentifier() << " did not come to the front";
    }
    EXPECT_EQ(workspace->scansApplied(), scans) << "a focus change scanned the desktop";
    EXPECT_GE(workspace->activeWindowReads(), reads + 3);
}

TEST(WorkspaceCacheSessionTest, NotificationsAgreeWithTheListAndCallsDoNoReading) {
    const auto workspace = open(X11Workspace::Updates::followDesktop);
    ASSERT_TRUE(workspace);
    std::vector<pid_t> launched;
    std::vector<pid_t> terminated;
    workspace->setDidLaunchHandler([&](const RunningApplicationPtr& app) {
        // Posted once the list holds it, with its identity.
        EXPECT_TRUE(lists(*workspace, app)) << "launch of an unlisted application";
        EXPECT_FALSE(app->bundleIdentifier().isEmpty());
        launched.push_back(app->processIdentifier());
    });
    workspace->setDidTerminateHandler([&](const RunningApplicationPtr& app) {
        EXPECT_FALSE(lists(*workspace, app)) << "termination of a listed application";
        EXPECT_TRUE(app->isTerminated());
        terminated.push_back(app->processIdentifier());
    });

    // Clients with many windows each, coming and going together.
    std::vector<std::unique_ptr<Fixture>> clients;
    for (int i = 0; i < 4; ++i) {
        clients.push_back(std::make_unique<Fixture>(
            QStringList{QStringLiteral("--windows"), QStringLiteral("12")}));
        ASSERT_TRUE(clients.back()->ready());
    }
    const auto seen = [](const std::vector<pid_t>& pids, pid_t pid) {
        return std::count(pids.begin(), pids.end(), pid);
    };
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(clients.begin(), clients.end(),
                           [&](const auto& client) { return seen(launched, client->pid()) > 0; });
    }));
    // A call answers from the list: it never scans on the caller's thread.
    const std::uint64_t scans = workspace->scansApplied();
    EXPECT_GE(workspace->runningApplications().size(), clients.size());
    EXPECT_EQ(workspace->scansApplied(), scans);

    for (const auto& client : clients) {
        client->kill();
    }
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(clients.begin(), clients.end(),
                           [&](const auto& client) { return seen(terminated, client->pid()) > 0; });
    }));
    // Later scans list none of them again.
    ASSERT_TRUE(waitUntil([&] {
        workspace->runningApplications();
        return !workspace->isRefreshing();
    }));
    for (const auto& client : clients) {
        EXPECT_EQ(seen(launched, client->pid()), 1);
        EXPECT_EQ(seen(terminated, client->pid()), 1);
    }

    // Without an event loop to follow the desktop, each call reads it.
    const auto onCall = open(X11Workspace::Updates::onCall);
    ASSERT_TRUE(onCall);
    const std::uint64_t before = onCall->scansApplied();
    onCall->runningApplications();
    onCall->frontmostApplication();
    EXPECT_EQ(onCall->scansApplied(), before + 2);
}

TEST(WorkspaceCacheSessionTest, IconsAreMadeOnTheGuiThreadOnly) {
#ifndef QT_NO_DEBUG
    GTEST_SKIP() << "icon() asserts the GUI thread in debug builds";
#endif
    const auto workspace = open(X11Workspace::Updates::followDesktop);
    ASSERT_TRUE(workspace);
    Fixture client({QStringLiteral("--icon")});
    ASSERT_TRUE(client.ready());
    const RunningApplicationPtr app = waitFor(*workspace, client.pid());
    ASSERT_TRUE(app);

    test::LogCapture capture;
    QIcon elsewhere;
    std::thread worker([&] { elsewhere = app->icon(); });
    worker.join();
    EXPECT_TRUE(elsewhere.isNull()) << "pixmaps were made off the GUI thread";
    EXPECT_EQ(capture.matching("off the GUI thread").size(), 1U);

    const QIcon icon = app->icon();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixmap(QSize(16, 16)).toImage().pixel(8, 8), 0xffd02020U);
}

}  // namespace
}  // namespace klosia
