// The program itself on KWin, with this test as the tray's watcher and host: a press sent with
// its point opens the menu there, kept off the task bar and with the focus; a second press
// closes it, and so does the focus going to another window. Where KWin shows the menu is read
// from KWin's own window list.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>

#include <memory>
#include <optional>

#include "app/FirstRun.h"
#include "platform/wayland/WaylandToplevels.h"
#include "support/Wait.h"
#include "support/session/FakeStatusNotifierWatcher.h"
#include "wayland/WaylandClient.h"

namespace klosia {
namespace {

using test::Client;
using test::kQtFixture;
using test::waitUntil;

TEST(KWinMenu, ATraysPressOpensItThereOffTheTaskBarAndFocusElsewhereClosesIt) {
    ASSERT_EQ(qEnvironmentVariable("KLOSIA_SESSION_COMPOSITOR").toStdString(), "kwin");
    ASSERT_TRUE(test::grantWindowList(QStringLiteral("klosia-tests-menu"),
                                      QCoreApplication::applicationFilePath()));
    ASSERT_TRUE(test::skipFirstRunAlert());
    ASSERT_TRUE(test::skipNotificationsOffAlert());
    test::FakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.start());
    Client other(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.other")});
    ASSERT_TRUE(other.waitExposed());
    Client klosia(QStringLiteral(KLOSIA_EXECUTABLE), {});
    ASSERT_TRUE(waitUntil([&] { return !watcher.items.isEmpty(); }, std::chrono::seconds(20)));

    QString error;
    std::shared_ptr<WaylandToplevels> windows;
    ASSERT_TRUE(waitUntil([&] { return (windows = WaylandToplevels::connect(&error)) != nullptr; }))
        << error.toStdString();
    const auto find = [&](pid_t pid, const QString& title) {
        windows->roundtrip();
        for (const WaylandToplevels::Toplevel& toplevel : windows->toplevels()) {
            if (toplevel.pid == pid && (title.isEmpty() || toplevel.title == title)) {
                return std::optional(toplevel);
            }
        }
        return std::optional<WaylandToplevels::Toplevel>();
    };
    const auto menu = [&] { return find(klosia.pid(), QStringLiteral("Applications menu")); };
    const auto press = [&](const QPoint& at) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            watcher.items.first(), QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
        call << at.x() << at.y();
        QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    };

    const QPoint point(900, 10);
    press(point);
    ASSERT_TRUE(waitUntil([&] {
        const auto shown = menu();
        return shown && shown->activated && shown->skipTaskbar &&
               std::abs(shown->geometry.center().x() - point.x()) <= 1;
    })) << "the menu did not open at the point, focused and off the task bar";
    EXPECT_GE(menu()->geometry.top(), point.y());

    press(point);
    EXPECT_TRUE(waitUntil([&] { return !menu(); })) << "a second press left it open";

    press(point);
    ASSERT_TRUE(waitUntil([&] {
        const auto shown = menu();
        return shown && shown->activated;
    }));
    const auto elsewhere = find(other.pid(), {});
    ASSERT_TRUE(elsewhere);
    ASSERT_TRUE(windows->activate(elsewhere->id));
    EXPECT_TRUE(waitUntil([&] { return !menu(); })) << "the menu stayed after losing focus";
    EXPECT_TRUE(other.running());
    watcher.stop();
}

}  // namespace
}  // namespace klosia
