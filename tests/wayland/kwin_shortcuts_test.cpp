// The global shortcuts on KWin go through the desktop's GlobalShortcuts portal, here a fake of
// it on the session's bus: the program proposes the enabled shortcut with its keys, and the
// portal's Activated opens the menu, as the key press would.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <memory>
#include <optional>

#include "app/FirstRun.h"
#include "hotkeys/Key.h"
#include "hotkeys/ModifierFlags.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/linux/FileUserDefaults.h"
#include "platform/wayland/WaylandToplevels.h"
#include "settings/GlobalShortcut.h"
#include "settings/Preferences.h"
#include "support/Wait.h"
#include "support/session/FakeShortcutsPortal.h"
#include "wayland/WaylandClient.h"

namespace klosia {
namespace {

using test::Client;
using test::waitUntil;

TEST(KWinShortcuts, TheDesktopsPortalIsProposedTheKeysAndItsActivationOpensTheMenu) {
    ASSERT_EQ(qEnvironmentVariable("KLOSIA_SESSION_COMPOSITOR").toStdString(), "kwin");
    ASSERT_TRUE(test::grantWindowList(QStringLiteral("klosia-tests-shortcuts"),
                                      QCoreApplication::applicationFilePath()));
    ASSERT_TRUE(test::skipFirstRunAlert());
    {
        FileUserDefaults defaults(FileUserDefaults::defaultPath());
        defaults.set(QStringLiteral("kUserdefaultsNotificationsDontShow"), true);
        // The show-menu shortcut on, Ctrl+Alt+Escape; the two others off.
        MemoryUserDefaults scratch;
        Preferences preferences{scratch};
        preferences.setShortcutActivate(std::make_shared<GlobalShortcut>(
            GlobalShortcut{.key = Key::escape,
                           .modifiers = ModifierFlags::control | ModifierFlags::option,
                           .enabled = true}));
        const auto stored = scratch.object(QString(Preferences::kShortcutActivate));
        ASSERT_TRUE(stored.has_value());
        defaults.set(QString(Preferences::kShortcutActivate), *stored);
        ASSERT_TRUE(defaults.synchronize());
    }
    test::FakeShortcutsPortal portal;
    ASSERT_TRUE(portal.start());
    Client klosia(QStringLiteral(KLOSIA_EXECUTABLE), {});
    ASSERT_TRUE(waitUntil([&] { return portal.bindings > 0; }, std::chrono::seconds(20)))
        << "the shortcuts never reached the portal";
    ASSERT_EQ(portal.boundIds.size(), 1) << "only the enabled one";
    EXPECT_EQ(portal.boundTriggers.first().toStdString(), "CTRL+ALT+Escape");

    QString error;
    std::shared_ptr<WaylandToplevels> windows;
    ASSERT_TRUE(waitUntil([&] { return (windows = WaylandToplevels::connect(&error)) != nullptr; }))
        << error.toStdString();
    const auto menuShown = [&] {
        windows->roundtrip();
        for (const WaylandToplevels::Toplevel& toplevel : windows->toplevels()) {
            if (toplevel.pid == klosia.pid() &&
                toplevel.title == QLatin1String("Applications menu")) {
                return true;
            }
        }
        return false;
    };
    EXPECT_FALSE(menuShown());
    portal.press(portal.boundIds.first());
    EXPECT_TRUE(waitUntil(menuShown)) << "the portal's activation did not open the menu";
    portal.press(portal.boundIds.first());
    EXPECT_TRUE(waitUntil([&] { return !menuShown(); })) << "nor did a second one close it";
    portal.stop();
}

}  // namespace
}  // namespace klosia
