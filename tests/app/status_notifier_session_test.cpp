// The program's own StatusNotifierItem in the virtual desktop, with this test as the session's
// watcher and host: the item registers (again when the watcher restarts), carries its icon and
// tool tip, and a host's Activate(x, y) opens the menu next to that point, below it near the
// top of the screen and above it near the bottom; a second one closes it; ContextMenu(x, y)
// shows the settings menu. No XEmbed icon is added while a watcher runs.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>

#include <memory>

#include "FirstRun.h"
#include "platform/linux/DBusMenuExporter.h"
#include "support/Wait.h"
#include "support/session/DesktopDriver.h"
#include "support/session/FakeStatusNotifierWatcher.h"

namespace klosia {

namespace {

using test::BackgroundProgram;
using test::DesktopDriver;
using test::DesktopWindow;
using test::waitUntil;

const QString kKlosia = QStringLiteral(KLOSIA_EXECUTABLE);
const QString kItemInterface = QStringLiteral("org.kde.StatusNotifierItem");

class StatusNotifierSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.isConnected());
        ASSERT_TRUE(test::skipFirstRunAlert());
        ASSERT_TRUE(watcher.start());
        logo = std::make_unique<BackgroundProgram>(QStringLiteral("xlogo"), QStringList{});
        klosia = std::make_unique<BackgroundProgram>(kKlosia, QStringList{});
        ASSERT_TRUE(waitUntil([&] { return !watcher.items.isEmpty(); }, std::chrono::seconds(20)))
            << "the item never registered with the watcher";
        ASSERT_TRUE(waitUntil([&] { return !desktop.windowsOf(logo->pid()).empty(); }));
    }
    void TearDown() override { watcher.stop(); }

    QDBusMessage callItem(const QString& method, const QVariantList& arguments) const {
        QDBusMessage call = QDBusMessage::createMethodCall(
            watcher.items.first(), QStringLiteral("/StatusNotifierItem"), kItemInterface, method);
        call.setArguments(arguments);
        return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    }
    QVariant property(const QString& name) const {
        QDBusMessage get = QDBusMessage::createMethodCall(
            watcher.items.first(), QStringLiteral("/StatusNotifierItem"),
            QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << kItemInterface << name;
        const QDBusReply<QDBusVariant> reply = QDBusConnection::sessionBus().call(get);
        return reply.isValid() ? reply.value().variant() : QVariant();
    }
    std::vector<DesktopWindow> popups() const { return desktop.popupsOf(klosia->pid()); }

    DesktopDriver desktop;
    test::FakeStatusNotifierWatcher watcher;
    std::unique_ptr<BackgroundProgram> logo;
    std::unique_ptr<BackgroundProgram> klosia;
};

TEST_F(StatusNotifierSession, AHostsPressOpensTheMenuAtItsPointAndTheItemOutlivesTheWatcher) {
    // Published under the name the protocol asks for, with its icon and tool tip.
    EXPECT_TRUE(watcher.items.first().startsWith(
        QStringLiteral("org.kde.StatusNotifierItem-%1-").arg(klosia->pid())));
    EXPECT_EQ(property(QStringLiteral("Id")).toString(), QStringLiteral("org.klosia.Klosia"));
    EXPECT_EQ(property(QStringLiteral("Status")).toString(), QStringLiteral("Active"));
    const QDBusArgument images = property(QStringLiteral("IconPixmap")).value<QDBusArgument>();
    int imageCount = 0;
    images.beginArray();
    while (!images.atEnd()) {
        int width = 0;
        int height = 0;
        QByteArray data;
        images.beginStructure();
        images >> width >> height >> data;
        images.endStructure();
        EXPECT_EQ(data.size(), width * height * 4) << "ARGB32, four bytes a pixel";
        ++imageCount;
    }
    images.endArray();
    EXPECT_GE(imageCount, 1);
    EXPECT_TRUE(desktop.trayIconOf(klosia->pid()).isEmpty()) << "an XEmbed icon beside the item";

    // Near the top: the menu hangs below the point, centred on it.
    const QRect screen = desktop.screenGeometry();
    const QPoint top(screen.width() / 2, 12);
    ASSERT_EQ(callItem(QStringLiteral("Activate"), {top.x(), top.y()}).type(),
              QDBusMessage::ReplyMessage);
    ASSERT_TRUE(waitUntil([&] { return !popups().empty(); })) << "Activate opened no menu";
    const std::vector<DesktopWindow> below = popups();
    ASSERT_FALSE(below.empty());
    EXPECT_GE(below.front().geometry.top(), top.y());
    EXPECT_LE(std::abs(below.front().geometry.center().x() - top.x()), 1);
    // A second press closes it.
    callItem(QStringLiteral("Activate"), {top.x(), top.y()});
    EXPECT_TRUE(waitUntil([&] { return popups().empty(); })) << "a second press left it open";

    // Near the bottom: above the point.
    const QPoint bottom(screen.width() / 3, screen.height() - 12);
    callItem(QStringLiteral("Activate"), {bottom.x(), bottom.y()});
    ASSERT_TRUE(waitUntil([&] { return !popups().empty(); }));
    const std::vector<DesktopWindow> above = popups();
    ASSERT_FALSE(above.empty());
    EXPECT_LE(above.front().geometry.bottom(), bottom.y());
    callItem(QStringLiteral("Activate"), {bottom.x(), bottom.y()});
    ASSERT_TRUE(waitUntil([&] { return popups().empty(); }));

    // The secondary press: the settings menu at the point.
    callItem(QStringLiteral("ContextMenu"), {top.x(), top.y()});
    ASSERT_TRUE(waitUntil([&] { return !popups().empty(); })) << "ContextMenu showed nothing";
    EXPECT_TRUE(DesktopDriver::key(QStringLiteral("Escape")));
    EXPECT_TRUE(waitUntil([&] { return popups().empty(); }));

    // A panel that restarts: its new watcher learns of the item again.
    const int before = watcher.registrations;
    watcher.stop();
    ASSERT_TRUE(watcher.start());
    EXPECT_TRUE(waitUntil([&] { return watcher.registrations > before; }))
        << "the item did not register with the new watcher";
}

// A tray that draws the item's menu itself reads the settings menu over the bus, anew each time
// it opens it, and sends back the press.
TEST_F(StatusNotifierSession, TheSettingsMenuIsPublishedForTraysThatDrawItThemselves) {
    qDBusRegisterMetaType<DBusMenuItem>();
    const QString path = qvariant_cast<QDBusObjectPath>(property(QStringLiteral("Menu"))).path();
    ASSERT_EQ(path, QStringLiteral("/MenuBar"));
    const auto callMenu = [&](const QString& method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            watcher.items.first(), path, QStringLiteral("com.canonical.dbusmenu"), method);
        call.setArguments(arguments);
        return QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    };
    const auto entries = [&] {
        const QDBusMessage reply = callMenu(QStringLiteral("GetLayout"), {0, -1, QStringList{}});
        DBusMenuItem root;
        if (reply.arguments().size() == 2) {
            reply.arguments().at(1).value<QDBusArgument>() >> root;
        }
        return root.children;
    };
    const auto labels = [&] {
        QStringList read;
        for (const DBusMenuItem& entry : entries()) {
            read << entry.properties.value(QStringLiteral("label")).toString();
        }
        return read;
    };
    const QStringList first = labels();
    ASSERT_EQ(first.mid(1), (QStringList{"Preferences", "Help", "Quit"}));
    const QString view = QStringLiteral("View background apps");
    const QString hide = QStringLiteral("Hide background apps");
    ASSERT_TRUE(first.front() == view || first.front() == hide) << first.front().toStdString();

    // A press on the first entry shows (or hides) the background applications; the next
    // opening asks whether the menu changed, and it did: the entry now offers the other way.
    // A second press puts the setting back.
    const int toggle = entries().front().id;
    for (const QString& expected : {first.front() == view ? hide : view, first.front()}) {
        ASSERT_EQ(callMenu(QStringLiteral("Event"), {toggle, QStringLiteral("clicked"),
                                                     QVariant::fromValue(QDBusVariant(0)), 0U})
                      .type(),
                  QDBusMessage::ReplyMessage);
        EXPECT_TRUE(waitUntil([&] {
            const QDBusMessage changed = callMenu(QStringLiteral("AboutToShow"), {0});
            return !changed.arguments().isEmpty() && changed.arguments().front().toBool();
        })) << "the menu never told that it changed";
        EXPECT_EQ(labels().value(0), expected);
        EXPECT_FALSE(callMenu(QStringLiteral("AboutToShow"), {0}).arguments().value(0).toBool())
            << "unchanged since it was read";
    }
}

}  // namespace
}  // namespace klosia
