// The program on a headless GNOME Shell with its extension enabled: the Shell lists a GTK 4 and
// a Qt client to it, with their pids; the commands a key binding runs reach them by their
// identifiers; a polite quit leaves the GTK client that holds unsaved work running and closes the
// Qt one; a force quit ends the refusing one.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>

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

// Shell.WindowTracker names a window's application by its installed desktop entry.
bool installEntry(const QString& id, const QString& name, const QString& program) {
    const QString directory =
        qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/applications");
    QDir().mkpath(directory);
    QFile file(directory + QLatin1Char('/') + id + QStringLiteral(".desktop"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nExec=%2\n")
                   .arg(name, program)
                   .toUtf8());
    return file.flush();
}

int command(const QStringList& arguments, QString* said = nullptr) {
    QProcess process;
    process.start(QStringLiteral(KLOSIA_EXECUTABLE), arguments);
    process.waitForFinished(30000);
    if (said != nullptr) {
        *said = QString::fromUtf8(process.readAllStandardError());
    }
    return process.exitCode();
}

TEST(GnomeShell, TheExtensionListsTheClientsAndTheQuitsReachThem) {
    ASSERT_EQ(qEnvironmentVariable("KLOSIA_SESSION_COMPOSITOR"), QStringLiteral("gnome-shell"));
    const QString gtkId = QStringLiteral("org.klosia.test.Unsaved");
    const QString qtId = QStringLiteral("org.klosia.test.Plain");
    ASSERT_TRUE(installEntry(gtkId, QStringLiteral("Unsaved Work"), kGtkFixture));
    ASSERT_TRUE(installEntry(qtId, QStringLiteral("Plain Window"), kQtFixture));
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
}

}  // namespace
}  // namespace klosia
