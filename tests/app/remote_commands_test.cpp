#include <gtest/gtest.h>

#include "app/RemoteCommands.h"
#include "fakes/FakeWorkspace.h"
#include "platform/BlindWorkspace.h"

namespace klosia {
namespace {

using test::FakeRunningApplication;

struct Recorded {
    int toggles = 0;
    std::vector<std::optional<QPoint>> points;
    std::vector<bool> quitAll;
};

RemoteCommands commandsOn(Workspace& workspace, Recorded& recorded) {
    return RemoteCommands(
        workspace,
        [&](std::optional<QPoint> at) {
            ++recorded.toggles;
            recorded.points.push_back(at);
        },
        [&](bool force) { recorded.quitAll.push_back(force); });
}

TEST(RemoteCommands, ShortcutsActionsAndUnknownCommands) {
    test::FakeWorkspace workspace;
    Recorded recorded;
    RemoteCommands commands = commandsOn(workspace, recorded);
    EXPECT_TRUE(commands.run(QStringLiteral("toggle-menu"), {}).isEmpty());
    EXPECT_TRUE(commands.run(QStringLiteral("quit-all"), {}).isEmpty());
    EXPECT_TRUE(commands.run(QStringLiteral("force-quit-all"), {}).isEmpty());
    EXPECT_EQ(recorded.toggles, 1);
    EXPECT_EQ(recorded.quitAll, (std::vector<bool>{false, true}));
    // A newer command line than the running Klosia, or a hand-made bus call.
    EXPECT_EQ(commands.run(QStringLiteral("reboot"), {}),
              QStringLiteral("unknown command 'reboot'"));
    // A desktop's own button says where it is; anything else than a point is refused.
    EXPECT_TRUE(commands.run(QStringLiteral("toggle-menu"), QStringLiteral("1200,32")).isEmpty());
    for (const char* bad : {"x", "1200", "1200,", ",32", "1,2,3", "1.5,2"}) {
        EXPECT_FALSE(commands.run(QStringLiteral("toggle-menu"), QLatin1String(bad)).isEmpty())
            << bad;
    }
    EXPECT_EQ(recorded.toggles, 2);
    EXPECT_EQ(recorded.points,
              (std::vector<std::optional<QPoint>>{std::nullopt, QPoint(1200, 32)}));
}

TEST(RemoteCommands, OneApplicationByItsIdentifierWithItsHelpersAndNothingElse) {
    test::FakeWorkspace workspace;
    const auto browser = FakeRunningApplication::make(
        QStringLiteral("Browser"), QStringLiteral("org.web"), ActivationPolicy::regular, 100);
    const auto helper = FakeRunningApplication::make(
        QStringLiteral("Browser"), QStringLiteral("org.web"), ActivationPolicy::prohibited, 101);
    helper->application = 100;
    const auto second = FakeRunningApplication::make(
        QStringLiteral("Browser"), QStringLiteral("org.web"), ActivationPolicy::regular, 200);
    const auto editor = FakeRunningApplication::make(
        QStringLiteral("Editor"), QStringLiteral("org.edit"), ActivationPolicy::regular, 300);
    workspace.setApplications({browser, helper, second, editor});
    Recorded recorded;
    RemoteCommands commands = commandsOn(workspace, recorded);

    EXPECT_TRUE(commands.run(QStringLiteral("quit"), QStringLiteral("org.web")).isEmpty());
    EXPECT_EQ(browser->terminateCalls, 1);
    EXPECT_EQ(second->terminateCalls, 1) << "every instance under the identifier";
    EXPECT_EQ(helper->terminateCalls, 0) << "a helper ends with its application";
    EXPECT_EQ(editor->terminateCalls, 0);
    EXPECT_EQ(editor->forceTerminateCalls, 0);

    EXPECT_TRUE(commands.run(QStringLiteral("force-quit"), QStringLiteral("org.web")).isEmpty());
    EXPECT_EQ(helper->forceTerminateCalls, 1) << "force quit takes the helpers too";
    EXPECT_EQ(editor->forceTerminateCalls, 0);

    // Identifiers are exact: no guessing by name or case.
    for (const char* id : {"org.WEB", "Browser", "org", ""}) {
        EXPECT_EQ(
            commands.run(QStringLiteral("quit"), QString::fromUtf8(id)),
            QStringLiteral("no application has the identifier '%1'").arg(QString::fromUtf8(id)));
    }
    editor->terminated = true;
    EXPECT_FALSE(commands.run(QStringLiteral("quit"), QStringLiteral("org.edit")).isEmpty())
        << "an ended process is not quit again";
    EXPECT_EQ(editor->terminateCalls, 0);
}

TEST(RemoteCommands, ADesktopThatShowsNothingSaysSoInsteadOfNotFound) {
    BlindWorkspace blind(QStringLiteral("this desktop shows nothing"));
    Recorded recorded;
    RemoteCommands commands = commandsOn(blind, recorded);
    EXPECT_EQ(commands.run(QStringLiteral("quit"), QStringLiteral("org.web")),
              QStringLiteral("this desktop shows nothing"));
}

}  // namespace
}  // namespace klosia
