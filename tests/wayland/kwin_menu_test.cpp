// The program itself on KWin, with this test as the tray's watcher and host: a press sent with
// its point opens the menu there, kept off the task bar and with the focus; a second press
// closes it, and so does the focus going to another window; typing filters it, Escape closes it,
// and Down, Space and Return quit two of three clients. Where KWin shows the menu is read from
// KWin's own window list; keys come through KWin's fake input.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>

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

TEST(KWinMenu, ATraysPressOpensItThereOffTheTaskBarAndTheKeyboardDoesTheMainJob) {
    ASSERT_EQ(qEnvironmentVariable("KLOSIA_SESSION_COMPOSITOR").toStdString(), "kwin");
    ASSERT_TRUE(test::grantWindowList(QStringLiteral("klosia-tests-menu"),
                                      QCoreApplication::applicationFilePath()));
    // The program sees the windows it is to quit as the package's entry lets it.
    ASSERT_TRUE(
        test::grantWindowList(QStringLiteral("klosia-build"), QStringLiteral(KLOSIA_EXECUTABLE)));
    ASSERT_TRUE(test::grantWindowList(QStringLiteral("klosia-tests-keys"),
                                      QStringLiteral(KLOSIA_KWIN_KEYS),
                                      QStringLiteral("org_kde_kwin_fake_input")));
    ASSERT_TRUE(test::skipFirstRunAlert());
    ASSERT_TRUE(test::skipNotificationsOffAlert());
    test::FakeStatusNotifierWatcher watcher;
    ASSERT_TRUE(watcher.start());
    Client other(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.other")});
    Client second(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.second")});
    Client third(kQtFixture, {QStringLiteral("--app-id"), QStringLiteral("klosia.test.third")});
    for (Client* client : {&other, &second, &third}) {
        ASSERT_TRUE(client->waitExposed());
    }
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

    const auto type = [](const QStringList& keys) {
        return QProcess::execute(QStringLiteral(KLOSIA_KWIN_KEYS), keys) == 0;
    };
    const auto opened = [&] {
        press(point);
        return waitUntil([&] {
            const auto shown = menu();
            return shown && shown->activated;
        });
    };
    // Typing filters at once: one row left, the menu shorter by two.
    ASSERT_TRUE(opened());
    const int threeRows = menu()->geometry.height();
    ASSERT_TRUE(type({QStringLiteral("second")}));
    EXPECT_TRUE(waitUntil([&] {
        const auto shown = menu();
        return shown && shown->geometry.height() == threeRows - 2 * 27;
    })) << "typing did not filter the rows";
    ASSERT_TRUE(type({QStringLiteral("-k"), QStringLiteral("Escape")}));
    EXPECT_TRUE(waitUntil([&] { return !menu(); })) << "Escape left the menu open";

    // Down to the first row, Space unchecks it, Return quits the other two.
    ASSERT_TRUE(opened());
    ASSERT_TRUE(type({QStringLiteral("-s"), QStringLiteral("300"), QStringLiteral("-k"),
                      QStringLiteral("Down"), QStringLiteral("-s"), QStringLiteral("300"),
                      QStringLiteral("-k"), QStringLiteral("space"), QStringLiteral("-s"),
                      QStringLiteral("300"), QStringLiteral("-k"), QStringLiteral("Return")}));
    const auto running = [&] {
        return static_cast<int>(other.running()) + static_cast<int>(second.running()) +
               static_cast<int>(third.running());
    };
    EXPECT_TRUE(waitUntil([&] { return running() <= 1; })) << running() << " of three still run";
    EXPECT_FALSE(waitUntil([&] { return running() == 0; }, std::chrono::seconds(1)))
        << "the unchecked one was quit too";
    watcher.stop();
}

}  // namespace
}  // namespace klosia
