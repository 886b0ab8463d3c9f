// GNOME's workspace on the session's bus: the launched applications, with a line and a button
// to enable the Shell extension, until the extension takes the bus name; then its list, and
// back when it leaves. Each change ends the applications of one list and launches the other's.
#include <gtest/gtest.h>

#include <QDBusConnection>

#include <memory>
#include <vector>

#include "fakes/FakeRunningApplication.h"
#include "fakes/FakeWorkspace.h"
#include "platform/wayland/GnomeShellWindows.h"
#include "platform/wayland/GnomeWorkspace.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using test::FakeRunningApplication;
using test::waitUntil;

TEST(GnomeWorkspace, LaunchedApplicationsUntilTheExtensionServesThenItsList) {
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    const auto launched = FakeRunningApplication::make(
        QStringLiteral("Maps"), QStringLiteral("org.gnome.Maps"), ActivationPolicy::regular, 100);
    const auto windowed = FakeRunningApplication::make(
        QStringLiteral("Maps"), QStringLiteral("org.gnome.Maps"), ActivationPolicy::regular, 100);
    bool serves = false;
    int enables = 0;
    std::vector<RunningApplicationPtr> launches;
    std::vector<RunningApplicationPtr> ends;
    GnomeWorkspace workspace(
        [&](QString* error) -> std::unique_ptr<Workspace> {
            if (!serves) {
                *error = QStringLiteral("not enabled");
                return nullptr;
            }
            auto list = std::make_unique<test::FakeWorkspace>();
            list->setApplications({windowed});
            return list;
        },
        [&](QString* /*error*/) -> std::unique_ptr<Workspace> {
            auto list = std::make_unique<test::FakeWorkspace>();
            list->setApplications({launched});
            return list;
        },
        [&] { ++enables; });
    workspace.setDidLaunchHandler(
        [&](const RunningApplicationPtr& app) { launches.push_back(app); });
    workspace.setDidTerminateHandler(
        [&](const RunningApplicationPtr& app) { ends.push_back(app); });

    EXPECT_FALSE(workspace.usesExtension());
    EXPECT_EQ(workspace.runningApplications(), std::vector<RunningApplicationPtr>{launched});
    EXPECT_FALSE(workspace.knowsActiveApplication())
        << "nothing may be quit for inactivity where nobody knows what is in front";
    const WorkspaceBanner banner = workspace.banner();
    EXPECT_FALSE(banner.text.isEmpty());
    EXPECT_FALSE(banner.buttonTitle.isEmpty());
    ASSERT_TRUE(banner.press);
    banner.press();
    EXPECT_EQ(enables, 1);

    // The extension takes its name once it is enabled.
    serves = true;
    const QString name = QLatin1String(GnomeShellWindows::kService);
    ASSERT_TRUE(QDBusConnection::sessionBus().registerService(name));
    EXPECT_TRUE(waitUntil([&] { return workspace.usesExtension(); }));
    EXPECT_EQ(workspace.runningApplications(), std::vector<RunningApplicationPtr>{windowed});
    EXPECT_TRUE(workspace.knowsActiveApplication());
    EXPECT_TRUE(workspace.banner().text.isEmpty());
    EXPECT_EQ(ends, std::vector<RunningApplicationPtr>{launched});
    EXPECT_EQ(launches, std::vector<RunningApplicationPtr>{windowed});

    // Disabled, or the Shell gone: what it listed can no longer be vouched for.
    serves = false;
    ASSERT_TRUE(QDBusConnection::sessionBus().unregisterService(name));
    EXPECT_TRUE(waitUntil([&] { return !workspace.usesExtension(); }));
    EXPECT_EQ(workspace.runningApplications(), std::vector<RunningApplicationPtr>{launched});
    EXPECT_EQ(ends.back(), windowed);
    EXPECT_EQ(launches.back(), launched);
    EXPECT_FALSE(workspace.banner().text.isEmpty());
}

}  // namespace
}  // namespace klosia
