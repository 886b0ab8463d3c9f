// The program on a headless GNOME Shell with its extension enabled: the Shell lists a GTK 4 and
// a Qt client to it, with their pids; the commands a key binding runs reach them by their
// identifiers; a polite quit leaves the GTK client that holds unsaved work running and closes the
// Qt one; a force quit ends the refusing one. The top bar's button asks for the menu with its
// point, and the menu opens under it.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPoint>
#include <QProcess>

#include <optional>

#include <memory>

#include "app/FirstRun.h"
#include "support/Wait.h"
#include "wayland/WaylandClient.h"

namespace klosia {
namespace {

using test::Client;
using test::kGtkFixture;
using test::kQtFixture;
using test::waitUntil;

int command(const QStringList& arguments, QString* said = nullptr) {
    QProcess process;
    process.start(QStringLiteral(KLOSIA_EXECUTABLE), arguments);
    process.waitForFinished(30000);
    if (said != nullptr) {
        *said = QString::fromUtf8(process.readAllStandardError());
    }
    return process.exitCode();
}

// The frame of a window of `pid` with `title`, as the Shell has it (the rig's own extension).
std::optional<QJsonObject> shellWindow(pid_t pid, const QString& title) {
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.klosia.test.GnomeShellReady"),
        QStringLiteral("/org/klosia/test/GnomeShell"), QStringLiteral("org.klosia.test.GnomeShell"),
        QStringLiteral("Windows"));
    const QDBusReply<QString> reply = QDBusConnection::sessionBus().call(call);
    const QJsonArray windows = QJsonDocument::fromJson(reply.value().toUtf8()).array();
    for (const auto& value : windows) {
        const QJsonObject window = value.toObject();
        if (window.value(QStringLiteral("pid")).toInt() == pid &&
            window.value(QStringLiteral("title")).toString() == title) {
            return window;
        }
    }
    return std::nullopt;
}

// What the extension's top-bar button sends when pressed.
QString pressTopBarButton(const QPoint& at) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.klosia.Klosia"), QStringLiteral("/org/klosia/Klosia"),
        QStringLiteral("org.klosia.Klosia"), QStringLiteral("Command"));
    call << QStringLiteral("toggle-menu") << QStringLiteral("%1,%2").arg(at.x()).arg(at.y());
    const QDBusReply<QString> reply = QDBusConnection::sessionBus().call(call);
    return reply.isValid() ? reply.value() : reply.error().message();
}

bool extensionDisabledAtStart() {
    return qEnvironmentVariable("KLOSIA_GNOME_EXTENSION_DISABLED") == QLatin1String("1");
}

TEST(GnomeShell, TheExtensionListsTheClientsAndTheQuitsReachThem) {
    ASSERT_EQ(qEnvironmentVariable("KLOSIA_SESSION_COMPOSITOR"), QStringLiteral("gnome-shell"));
    if (extensionDisabledAtStart()) {
        GTEST_SKIP() << "the extension is not enabled in this session";
    }
    const QString gtkId = QStringLiteral("org.klosia.test.Unsaved");
    const QString qtId = QStringLiteral("org.klosia.test.Plain");
    // Shell.WindowTracker names a window's application by its installed desktop entry.
    ASSERT_TRUE(test::installDesktopEntry(gtkId, QStringLiteral("Unsaved Work"), kGtkFixture));
    ASSERT_TRUE(test::installDesktopEntry(qtId, QStringLiteral("Plain Window"), kQtFixture));
    Client gtk(kGtkFixture, {QStringLiteral("--app-id"), gtkId, QStringLiteral("--unsaved")});
    Client qt(kQtFixture, {QStringLiteral("--app-id"), qtId});
    ASSERT_TRUE(gtk.waitExposed());
    ASSERT_TRUE(qt.waitExposed());
    ASSERT_TRUE(test::skipFirstRunAlert());
    ASSERT_TRUE(test::skipNotificationsOffAlert());
    Client klosia(QStringLiteral(KLOSIA_EXECUTABLE), {});

    // An identifier is known once the Shell has listed its window to the running program;
    // one nobody has is refused all along.
    QString said;
    EXPECT_TRUE(waitUntil(
        [&] {
            return command({QStringLiteral("--quit"), qtId}, &said) == 0;
        },
        std::chrono::seconds(20)))
        << "the Qt client was never listed: " << said.toStdString()
        << klosia.output().toStdString();
    EXPECT_TRUE(qt.waitEnded()) << "a polite quit did not close the Qt client";
    EXPECT_TRUE(waitUntil([&] { return qt.output().contains("closing"); }))
        << "it was not asked politely";
    EXPECT_EQ(command({QStringLiteral("--quit"), QStringLiteral("no.such.app")}), 1);

    ASSERT_EQ(command({QStringLiteral("--quit"), gtkId}, &said), 0) << said.toStdString();
    EXPECT_TRUE(waitUntil([&] { return gtk.output().contains("refused"); }))
        << "the GTK client was never asked to close";
    EXPECT_FALSE(waitUntil([&] { return !gtk.running(); }, std::chrono::seconds(2)))
        << "a polite quit ended the client with unsaved work";
    // Force quit goes by the pid the Shell gave: only that process ends.
    ASSERT_EQ(command({QStringLiteral("--force-quit"), gtkId}, &said), 0) << said.toStdString();
    EXPECT_TRUE(gtk.waitEnded()) << "force quit left the GTK client running";
    EXPECT_TRUE(klosia.running());

    // Mutter places new windows itself; the extension moves the menu under the button.
    const QPoint button(900, 30);
    ASSERT_EQ(pressTopBarButton(button), QString());
    const QString title = QStringLiteral("Applications menu");
    EXPECT_TRUE(waitUntil([&] {
        const auto menu = shellWindow(klosia.pid(), title);
        if (!menu) {
            return false;
        }
        const int left = menu->value(QStringLiteral("x")).toInt();
        const int width = menu->value(QStringLiteral("width")).toInt();
        return menu->value(QStringLiteral("y")).toInt() >= button.y() && left <= button.x() &&
               left + width >= button.x() - 40 && menu->value(QStringLiteral("above")).toBool();
    })) << "the menu did not open under the button, kept above";
    ASSERT_EQ(pressTopBarButton(button), QString());
    EXPECT_TRUE(waitUntil([&] { return !shellWindow(klosia.pid(), title); }))
        << "a second press left the menu open";
}

// Installed, not enabled: the launched applications only, where a window's client started from
// elsewhere is not found; once the menu's button has run `gnome-extensions enable`, the
// extension's list, without a restart.
TEST(GnomeShell, EnablingTheExtensionWhileRunningBringsItsList) {
    if (!extensionDisabledAtStart()) {
        GTEST_SKIP() << "the extension is enabled from the start in this session";
    }
    const QString qtId = QStringLiteral("org.klosia.test.Plain");
    ASSERT_TRUE(test::installDesktopEntry(qtId, QStringLiteral("Plain Window"), kQtFixture));
    Client qt(kQtFixture, {QStringLiteral("--app-id"), qtId});
    ASSERT_TRUE(qt.waitExposed());
    ASSERT_TRUE(test::skipFirstRunAlert());
    ASSERT_TRUE(test::skipNotificationsOffAlert());
    Client klosia(QStringLiteral(KLOSIA_EXECUTABLE), {});
    QString said;
    ASSERT_TRUE(waitUntil([&] {
        return command({QStringLiteral("--quit"), qtId}, &said) == 1 &&
               said.contains(QLatin1String("no application has the identifier"));
    })) << "not the answer of a running Klosia that does not list it: "
        << said.toStdString();
    EXPECT_TRUE(qt.running());

    // What the button on the menu's first line runs.
    EXPECT_EQ(QProcess::execute(QStringLiteral("gnome-extensions"),
                                {QStringLiteral("enable"), QStringLiteral("klosia@klosia.org")}),
              0);
    EXPECT_TRUE(waitUntil(
        [&] {
            return command({QStringLiteral("--quit"), qtId}, &said) == 0;
        },
        std::chrono::seconds(20)))
        << "the extension's list never came: " << said.toStdString();
    EXPECT_TRUE(qt.waitEnded());
}

}  // namespace
}  // namespace klosia
