// Checks the virtual desktop that run-session.sh builds: everything the session tests of the other
// directories take for granted (a notification daemon, a window manager, a system tray, a bus and
// directories of their own) has to hold here first.
#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include "support/DunstHistory.h"
#include "support/Wait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUuid>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace klosia {
namespace {

using test::waitUntil;

// --- notifications ---------------------------------------------------------------------------

TEST(SessionNotifications, NotificationSentOverDBusReachesTheDaemonHistory) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected());
    ASSERT_TRUE(bus.interface()
                    ->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications"))
                    .value());

    const QString title =
        QStringLiteral("session test %1").arg(QUuid::createUuid().toString(QUuid::WithoutBraces));
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    notify << QStringLiteral("klosia-session-test") << 0U << QString() << title
           << QStringLiteral("body") << QStringList() << QVariantMap() << 5000;
    const QDBusReply<uint> reply = bus.call(notify, QDBus::Block, 10000);
    ASSERT_TRUE(reply.isValid()) << reply.error().message().toStdString();
    const int id = static_cast<int>(reply.value());
    EXPECT_GT(id, 0);

    // Nothing expires on its own in this session: the history holds it only once closed.
    auto inHistory = [&] {
        for (const test::DunstHistory::Entry& n : test::DunstHistory::entries()) {
            if (n.summary == title) {
                EXPECT_EQ(n.id, id);
                return true;
            }
        }
        return false;
    };
    EXPECT_FALSE(inHistory());
    test::DunstHistory::closeAll();
    EXPECT_TRUE(waitUntil(inHistory)) << "no history entry titled " << title.toStdString();
}

// --- window manager and tray ------------------------------------------------------------------

xcb_connection_t* xcbConnection() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

template <typename T>
using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    const XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            connection,
            xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
            nullptr),
        &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

xcb_window_t windowProperty(xcb_connection_t* connection, xcb_window_t window,
                            xcb_atom_t property) {
    const XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, property, XCB_ATOM_WINDOW, 0, 1),
            nullptr),
        &std::free);
    if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32 ||
        xcb_get_property_value_length(reply.get()) != 4) {
        return XCB_WINDOW_NONE;
    }
    return *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
}

TEST(SessionDesktop, RunsAWindowManagerAndASystemTray) {
    xcb_connection_t* connection = xcbConnection();
    ASSERT_NE(connection, nullptr) << "not running on xcb";
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;

    // A live EWMH window manager points the root at a child window that points at itself.
    const xcb_atom_t check = atom(connection, "_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t wmWindow = windowProperty(connection, root, check);
    ASSERT_NE(wmWindow, static_cast<xcb_window_t>(XCB_WINDOW_NONE));
    EXPECT_EQ(windowProperty(connection, wmWindow, check), wmWindow);

    const XcbReply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(
            connection,
            xcb_get_selection_owner(connection, atom(connection, "_NET_SYSTEM_TRAY_S0")), nullptr),
        &std::free);
    ASSERT_TRUE(owner);
    EXPECT_NE(owner->owner, static_cast<xcb_window_t>(XCB_WINDOW_NONE)) << "no tray owns the "
                                                                           "selection";

    EXPECT_TRUE(waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));

    // The tray does not only exist: it embeds an icon, which then has a place on screen.
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkCyan);
    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.show();
    EXPECT_TRUE(waitUntil([&icon] { return !icon.geometry().isEmpty(); }))
        << "the tray did not embed the icon";
}

// --- isolation --------------------------------------------------------------------------------

TEST(SessionIsolation, BusAndDirectoriesAreThoseOfTheSession) {
    ASSERT_TRUE(qEnvironmentVariableIsSet("KLOSIA_OUTER_DBUS"));
    const QString sessionDir = qEnvironmentVariable("KLOSIA_SESSION_DIR");
    ASSERT_FALSE(sessionDir.isEmpty());
    ASSERT_TRUE(QFileInfo(sessionDir).isDir());

    const QString bus = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    EXPECT_FALSE(bus.isEmpty());
    EXPECT_NE(bus, qEnvironmentVariable("KLOSIA_OUTER_DBUS"));
    EXPECT_TRUE(bus.contains(sessionDir)) << bus.toStdString();
    EXPECT_TRUE(QDBusConnection::sessionBus().isConnected());

    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString dir = qEnvironmentVariable(name);
        EXPECT_TRUE(dir.startsWith(sessionDir + QLatin1Char('/')))
            << name << "=" << dir.toStdString();
        EXPECT_TRUE(QFileInfo(dir).isDir()) << name;
    }
    const QFileDevice::Permissions runtime =
        QFileInfo(qEnvironmentVariable("XDG_RUNTIME_DIR")).permissions();
    EXPECT_EQ(runtime & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                         QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther),
              QFileDevice::Permissions());

    // Desktop entries installed by tests win over the system's, which stay visible.
    const QStringList dataDirs = qEnvironmentVariable("XDG_DATA_DIRS").split(QLatin1Char(':'));
    ASSERT_FALSE(dataDirs.isEmpty());
    EXPECT_EQ(dataDirs.first(), qEnvironmentVariable("XDG_DATA_HOME"));
    EXPECT_TRUE(dataDirs.contains(QStringLiteral("/usr/share")));
    EXPECT_TRUE(
        QFileInfo(
            QDir(qEnvironmentVariable("XDG_DATA_HOME")).filePath(QStringLiteral("applications")))
            .isDir());
}

}  // namespace
}  // namespace klosia
