// The program itself on sway, with this test as the tray's watcher and host: a press that the
// tray sends with its point opens the menu there (floating, without a border, focused), typing
// filters it, Escape closes it, Down, Space and Return quit two of three clients, and a click
// in another window (its focus) closes it. Keys are typed through the compositor (wtype).
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>

#include <algorithm>
#include <memory>
#include <optional>

#include "app/FirstRun.h"
#include "platform/wayland/SwayTree.h"
#include "support/Wait.h"
#include "support/session/FakeStatusNotifierWatcher.h"
#include "wayland/WaylandClient.h"

namespace klosia {
namespace {

using test::Client;
using test::kGtkFixture;
using test::kQtFixture;
using test::waitUntil;

const QString kMenuTitle = QStringLiteral("Applications menu");

std::optional<SwayTree::View> viewOf(pid_t pid, const QString& title) {
    QString error;
    const auto views = SwayTree::read(qEnvironmentVariable("SWAYSOCK"), &error);
    if (views) {
        for (const SwayTree::View& view : *views) {
            if (view.pid == pid && view.title == title) {
                return view;
            }
        }
    }
    return std::nullopt;
}

bool type(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("wtype"), arguments) == 0;
}

class SwayMenu : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("SWAYSOCK")) << "not under sway";
        ASSERT_TRUE(test::skipFirstRunAlert());
        // The session runs no notification server; its alert would take the menu's focus.
        FileUserDefaults defaults(FileUserDefaults::defaultPath());
        defaults.set(QStringLiteral("kUserdefaultsNotificationsDontShow"), true);
        ASSERT_TRUE(defaults.synchronize());
        ASSERT_TRUE(watcher.start());
        for (const char* id : {"alpha.one", "beta.two"}) {
            clients.push_back(std::make_unique<Client>(
                kQtFixture, QStringList{QStringLiteral("--app-id"), QString::fromUtf8(id)}));
        }
        clients.push_back(std::make_unique<Client>(
            kGtkFixture, QStringList{QStringLiteral("--app-id"), QStringLiteral("gamma.three")}));
        for (const auto& client : clients) {
            ASSERT_TRUE(client->waitExposed());
        }
        klosia = std::make_unique<Client>(QStringLiteral(KLOSIA_EXECUTABLE), QStringList{});
        ASSERT_TRUE(waitUntil([&] { return !watcher.items.isEmpty(); }, std::chrono::seconds(20)))
            << "Klosia's item never registered with the watcher";
    }
    void TearDown() override { watcher.stop(); }

    void press(const QPoint& at) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            watcher.items.first(), QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
        call << at.x() << at.y();
        QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    }
    std::optional<SwayTree::View> menu() const { return viewOf(klosia->pid(), kMenuTitle); }
    bool menuShown() const { return menu().has_value(); }
    int running() const {
        return static_cast<int>(std::count_if(
            clients.begin(), clients.end(), [](const auto& client) { return client->running(); }));
    }

    test::FakeStatusNotifierWatcher watcher;
    std::vector<std::unique_ptr<Client>> clients;
    std::unique_ptr<Client> klosia;
};

TEST_F(SwayMenu, ATraysPressOpensItThereAndTheKeyboardDoesTheMainJob) {
    const QPoint point(900, 6);
    press(point);
    ASSERT_TRUE(waitUntil([&] {
        const auto shown = menu();
        return shown && shown->floating && shown->focused &&
               std::abs(shown->frame.center().x() - point.x()) <= 1;
    })) << "the menu did not open floating and focused, centred under the point";
    const QRect open = menu()->frame;
    EXPECT_GE(open.top(), point.y()) << "below a point near the top";
    EXPECT_EQ(open.size(), menu()->size) << "no border, no title bar";
    // Its first frames drawn; the session copies its artifacts to the build tree's.
    waitUntil([] { return false; }, std::chrono::milliseconds(500));
    const QString shot =
        qEnvironmentVariable("KLOSIA_SESSION_DIR") + QStringLiteral("/artifacts/menu-sway.png");
    EXPECT_EQ(QProcess::execute(QStringLiteral("grim"), {shot}), 0) << "no screenshot";

    // Typing filters at once: one row left, the menu shorter by two.
    const int threeRows = menu()->size.height();
    ASSERT_TRUE(type({QStringLiteral("beta")}));
    EXPECT_TRUE(waitUntil([&] {
        const auto shown = menu();
        return shown && shown->size.height() == threeRows - 2 * 27;
    })) << "typing did not filter the rows";
    // Escape closes it.
    ASSERT_TRUE(type({QStringLiteral("-k"), QStringLiteral("Escape")}));
    EXPECT_TRUE(waitUntil([&] { return !menuShown(); })) << "Escape left the menu open";

    // Down to the first row, Space unchecks it, Return quits the other two.
    press(point);
    ASSERT_TRUE(waitUntil([&] { return menuShown() && menu()->focused; }));
    // A moment between the keys, as a hand leaves them: the menu handles each before the next.
    ASSERT_TRUE(type({QStringLiteral("-s"), QStringLiteral("300"), QStringLiteral("-k"),
                      QStringLiteral("Down"), QStringLiteral("-s"), QStringLiteral("300"),
                      QStringLiteral("-k"), QStringLiteral("space"), QStringLiteral("-s"),
                      QStringLiteral("300"), QStringLiteral("-k"), QStringLiteral("Return")}));
    EXPECT_TRUE(waitUntil([&] { return running() <= 1; }))
        << running() << " of the three clients still run";
    EXPECT_FALSE(waitUntil([&] { return running() == 0; }, std::chrono::seconds(1)))
        << "the unchecked one was quit too";
    EXPECT_TRUE(waitUntil([&] { return !menuShown(); }));

    // A press in another window takes the focus, and closes the menu.
    press(point);
    ASSERT_TRUE(waitUntil([&] { return menuShown() && menu()->focused; }));
    const auto survivor = std::find_if(clients.begin(), clients.end(),
                                       [](const auto& client) { return client->running(); });
    ASSERT_NE(survivor, clients.end());
    ASSERT_EQ(QProcess::execute(QStringLiteral("swaymsg"),
                                {QStringLiteral("[pid=%1] focus").arg((*survivor)->pid())}),
              0);
    EXPECT_TRUE(waitUntil([&] { return !menuShown(); })) << "the menu stayed after losing focus";
    EXPECT_TRUE((*survivor)->running());
}

}  // namespace
}  // namespace klosia
