// Under --xwayland, on sway and on KWin: an X11 program is listed once, by the X side, with the
// pid X-Resource names, never as a Wayland toplevel too and never as Xwayland's, also where the
// compositor says nothing about pids; it is quit through X11, and the native client beside it is
// left alone.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <memory>

#include "platform/RunningApplication.h"
#include "platform/wayland/WaylandWorkspace.h"
#include "platform/x11/X11Workspace.h"
#include "support/Wait.h"
#include "wayland/WaylandClient.h"

namespace klosia {
namespace {

using test::Client;
using test::kQtFixture;
using test::waitUntil;

TEST(Xwayland, AnX11ProgramIsListedOnceWithItsOwnPidAndXwaylandNever) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "the session runs no Xwayland";
    }
    ASSERT_TRUE(test::grantWindowList(QStringLiteral("klosia-tests-xwayland"),
                                      QCoreApplication::applicationFilePath()));
    Client xlogo(QStringLiteral("xlogo"), {}, false);
    // A program that names its pid on its window, as most X11 toolkits do; xlogo does not.
    Client qtX11(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.x11")},
                 false);
    Client native(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.native")});
    ASSERT_TRUE(native.waitExposed());
    ASSERT_TRUE(qtX11.waitExposed());
    QString error;
    std::unique_ptr<WaylandWorkspace> listed;
    // KWin notices a new desktop file a moment after it appears.
    ASSERT_TRUE(waitUntil([&] {
        auto x11 = createX11Workspace(&error, X11Workspace::Updates::onCall);
        listed =
            x11 ? createWaylandWorkspace(&error, std::move(x11), WaylandWorkspace::Updates::onCall)
                : nullptr;
        return listed != nullptr;
    })) << error.toStdString();

    std::vector<RunningApplicationPtr> apps;
    const auto named = [&](const QString& name) {
        return std::count_if(apps.begin(), apps.end(), [&](const auto& app) {
            return app->localizedName().compare(name, Qt::CaseInsensitive) == 0;
        });
    };
    const auto ofPid = [&](pid_t pid) {
        return std::count_if(apps.begin(), apps.end(),
                             [&](const auto& app) { return app->processIdentifier() == pid; });
    };
    ASSERT_TRUE(waitUntil([&] {
        apps = listed->runningApplications();
        return named(QStringLiteral("XLogo")) > 0 && ofPid(qtX11.pid()) > 0 &&
               named(QStringLiteral("klosia.test.native")) > 0;
    })) << "the X11 programs and the native client were never all listed";
    // Let the compositor's side catch up: a second listing of xlogo would come from there.
    QCoreApplication::processEvents();
    apps = listed->runningApplications();
    EXPECT_EQ(named(QStringLiteral("XLogo")), 1) << "once, not also as a Wayland toplevel";
    EXPECT_EQ(ofPid(qtX11.pid()), 1) << "once, though it names its pid on its window";
    for (const RunningApplicationPtr& app : apps) {
        if (app->localizedName().compare(QLatin1String("XLogo"), Qt::CaseInsensitive) == 0) {
            EXPECT_EQ(app->processIdentifier(), xlogo.pid()) << "its own pid, not Xwayland's";
        }
        const QString program =
            QFileInfo(QStringLiteral("/proc/%1/exe").arg(app->processIdentifier())).symLinkTarget();
        EXPECT_FALSE(program.endsWith(QLatin1String("/Xwayland"))) << "Xwayland is listed";
    }
    if (!qEnvironmentVariableIsEmpty("SWAYSOCK")) {
        // As on a wlroots compositor that says nothing about pids: xlogo's window, which the
        // compositor lists too, is known by its class and title and left to the X side.
        const QByteArray socket = qgetenv("SWAYSOCK");
        qunsetenv("SWAYSOCK");
        auto x11 = createX11Workspace(&error, X11Workspace::Updates::onCall);
        auto withoutPids =
            createWaylandWorkspace(&error, std::move(x11), WaylandWorkspace::Updates::onCall);
        qputenv("SWAYSOCK", socket);
        ASSERT_NE(withoutPids, nullptr) << error.toStdString();
        apps = withoutPids->runningApplications();
        EXPECT_EQ(named(QStringLiteral("XLogo")), 1) << "listed twice without the word on pids";
        EXPECT_EQ(ofPid(qtX11.pid()), 1);
        EXPECT_EQ(named(QStringLiteral("klosia.test.native")), 1);
        apps = listed->runningApplications();
    }
    const auto xlogoApp = std::find_if(apps.begin(), apps.end(), [](const auto& app) {
        return app->localizedName().compare(QLatin1String("XLogo"), Qt::CaseInsensitive) == 0;
    });
    ASSERT_NE(xlogoApp, apps.end());
    EXPECT_TRUE((*xlogoApp)->terminate());
    EXPECT_TRUE(xlogo.waitEnded()) << "xlogo closes its window when asked through X11";
    EXPECT_TRUE(native.running());
}

}  // namespace
}  // namespace klosia
