// The automatic quitting on sway follows the compositor's activated state: with the threshold
// at zero minutes, an application in the background is asked to quit after the 30-second grace,
// while the focused one and one set to "Never Quit" stay.
#include <gtest/gtest.h>

#include <QProcess>

#include <algorithm>

#include <memory>

#include "app/FirstRun.h"
#include "model/AppPolicies.h"
#include "platform/linux/FileUserDefaults.h"
#include "platform/wayland/SwayTree.h"
#include "settings/Preferences.h"
#include "support/Wait.h"
#include "wayland/WaylandClient.h"

namespace klosia {
namespace {

using test::Client;
using test::kQtFixture;
using test::waitUntil;

// What sway shows, for a failure's message: which view had the focus.
std::string views() {
    QProcess tree;
    tree.start(QStringLiteral("swaymsg"), {QStringLiteral("-t"), QStringLiteral("get_tree")});
    tree.waitForFinished(5000);
    std::string summary;
    for (const QByteArray& line : tree.readAllStandardOutput().split('\n')) {
        const QByteArray field = line.trimmed();
        if (field.startsWith("\"name\"") || field.startsWith("\"focused\": true") ||
            field.startsWith("\"pid\"")) {
            summary += field.toStdString() + ' ';
        }
    }
    return summary;
}

TEST(SwayInactive, TheBackgroundApplicationIsQuitWhileTheFocusedAndNeverOnesStay) {
    ASSERT_FALSE(qEnvironmentVariableIsEmpty("SWAYSOCK")) << "not under sway";
    Client background(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("left.behind")});
    Client kept(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("never.quit")});
    Client front(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("in.front")});
    for (Client* client : {&background, &kept, &front}) {
        ASSERT_TRUE(client->waitExposed());
    }
    // Qt reports a window exposed at sway's first configure, a moment before sway maps it, and
    // sway gives the focus to each window it maps: the front one is focused once all are shown.
    ASSERT_TRUE(waitUntil([&] {
        QString error;
        const auto shown = SwayTree::read(qEnvironmentVariable("SWAYSOCK"), &error);
        if (!shown) {
            return false;
        }
        for (const Client* client : {&background, &kept, &front}) {
            if (std::none_of(shown->begin(), shown->end(), [&](const SwayTree::View& view) {
                    return view.pid == client->pid();
                })) {
                return false;
            }
        }
        return true;
    })) << "sway never showed the three clients";
    ASSERT_TRUE(waitUntil([&] {
        QProcess::execute(
            QStringLiteral("swaymsg"),
            {QStringLiteral("-q"), QStringLiteral("[pid=%1] focus").arg(front.pid())});
        QString error;
        const auto shown = SwayTree::read(qEnvironmentVariable("SWAYSOCK"), &error);
        return shown && std::any_of(shown->begin(), shown->end(), [&](const SwayTree::View& view) {
                   return view.pid == front.pid() && view.focused;
               });
    })) << "the front client never got the focus";
    {
        FileUserDefaults defaults(FileUserDefaults::defaultPath());
        saveAppPolicies({{QStringLiteral("never.quit"), MenuAppPolicy::never}}, defaults);
        defaults.set(QString(Preferences::kQuitInactiveAppsAfter),
                     QByteArrayLiteral(R"({"enabled":true,"amount":0,"unit":60})"));
        // No notification server runs here; its alert would take the focus from the front.
        defaults.set(QStringLiteral("kUserdefaultsNotificationsDontShow"), true);
        ASSERT_TRUE(defaults.synchronize());
    }
    ASSERT_TRUE(test::skipFirstRunAlert());

    Client klosia(QStringLiteral(KLOSIA_EXECUTABLE), {});
    EXPECT_TRUE(waitUntil([&] { return !background.running(); }, std::chrono::seconds(60)))
        << "the application in the background was never asked to quit; Klosia said: "
        << klosia.output().toStdString();
    EXPECT_TRUE(waitUntil([&] { return background.output().contains("closing"); }))
        << "it was not asked politely";
    EXPECT_TRUE(kept.running()) << "its policy is Never";
    EXPECT_TRUE(front.running()) << "it has the focus; sway's views: " << views();
    EXPECT_TRUE(klosia.running());
}

}  // namespace
}  // namespace klosia
