#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "log/Vezizur.h"
#include "platform/linux/FileUserDefaults.h"
#include "platform/linux/XdgAutostart.h"
#include "platform/linux/XdgPaths.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace klosia {
namespace {

class XdgAutostartTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString autostartDir() const { return dir.filePath(QStringLiteral("autostart")); }
    XdgAutostart autostart{autostartDir(), {QStringLiteral("/opt/klosia/bin/klosia")}};

    void writeEntry(const QByteArray& content) {
        ASSERT_TRUE(QDir().mkpath(autostartDir()));
        QFile file(autostart.entryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    QByteArray entry() const {
        QFile file(autostart.entryPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

TEST_F(XdgAutostartTest, EnableAndDisableRoundTrip) {
    EXPECT_EQ(autostart.entryPath(), autostartDir() + QStringLiteral("/org.klosia.Klosia.desktop"));
    EXPECT_FALSE(autostart.isEnabled());

    autostart.setEnabled(true);  // creates the missing directory too
    EXPECT_TRUE(QFile::exists(autostart.entryPath()));
    EXPECT_TRUE(autostart.isEnabled());
    const QByteArray written = entry();
    EXPECT_TRUE(written.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(written.contains("\nExec=/opt/klosia/bin/klosia\n"));
    EXPECT_TRUE(written.contains("\nType=Application\n"));
    EXPECT_TRUE(written.contains("\nName=Klosia\n"));
    EXPECT_TRUE(written.contains("\nIcon=org.klosia.Klosia\n"));

    autostart.setEnabled(true);  // again: same content, still on
    EXPECT_EQ(entry(), written);
    EXPECT_TRUE(autostart.isEnabled());
    EXPECT_EQ(QDir(autostartDir()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    autostart.setEnabled(false);
    EXPECT_FALSE(QFile::exists(autostart.entryPath()));
    EXPECT_FALSE(autostart.isEnabled());
    test::LogCapture capture;
    autostart.setEnabled(false);  // nothing to remove is not an error
    EXPECT_TRUE(capture.matching(std::string(Vezizur::mark(VezizurLevel::error))).empty());
}

TEST_F(XdgAutostartTest, DisablingKeysAreHonouredExactly) {
    const auto enabledWith = [this](const char* extra) {
        writeEntry(QByteArray("# written by hand\n[Desktop Entry]\nType=Application\n"
                              "Exec=klosia\n") +
                   extra);
        return autostart.isEnabled();
    };
    EXPECT_FALSE(enabledWith("Hidden=true\n"));
    EXPECT_FALSE(enabledWith("Hidden = true \n"));
    EXPECT_FALSE(enabledWith("X-GNOME-Autostart-enabled=false\n"));
    EXPECT_FALSE(enabledWith("X-GNOME-Autostart-enabled\t=\tfalse\n"));
    EXPECT_FALSE(enabledWith("Hidden=false\nHidden=true\n"));  // the last one counts

    // Booleans are the lowercase words only; other values do not disable.
    EXPECT_TRUE(enabledWith("Hidden=True\n"));
    EXPECT_TRUE(enabledWith("Hidden=false\nX-GNOME-Autostart-enabled=true\n"));
    EXPECT_TRUE(enabledWith("X-GNOME-Autostart-enabled=FALSE\n"));
    // Only the main group decides.
    EXPECT_TRUE(enabledWith("\n[Desktop Action x]\nHidden=true\n"));
    EXPECT_TRUE(enabledWith("Name[de]=Klosia\r\n"));
}

TEST_F(XdgAutostartTest, MalformedEntriesReadAsOffWithoutCrashing) {
    const QByteArray cases[] = {
        QByteArray("\x7f"
                   "ELF\x02\x01\x01\x00\xff\xfe",
                   10),
        QByteArray(),
        QByteArray("Exec=klosia\n[Desktop Entry]\n"),      // key before any group
        QByteArray("[Other]\nExec=klosia\n"),              // wrong first group
        QByteArray("[Desktop Entry\nExec=klosia\n"),       // unclosed header
        QByteArray("[Desktop Entry]\njust words\n"),       // neither key nor group
        QByteArray("[Desktop Entry]\nbad key!=1\n"),       // invalid key
        QByteArray("[Desktop Entry]\n[Desktop Entry]\n"),  // group twice
        QByteArray("[Desktop Entry]\nName=\xc3\x28\n"),    // not UTF-8
    };
    test::LogCapture capture;
    for (const QByteArray& content : cases) {
        writeEntry(content);
        EXPECT_FALSE(autostart.isEnabled()) << content.toStdString();
    }
    EXPECT_TRUE(capture.matching(std::string(Vezizur::mark(VezizurLevel::error))).empty());

    // A directory in the entry's place cannot be read either.
    QFile::remove(autostart.entryPath());
    ASSERT_TRUE(QDir().mkpath(autostart.entryPath()));
    EXPECT_FALSE(autostart.isEnabled());
}

TEST_F(XdgAutostartTest, FailuresAreLoggedNotThrown) {
    const QString blocker = dir.filePath(QStringLiteral("blocker"));
    {
        QFile file(blocker);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    XdgAutostart blocked(blocker + QStringLiteral("/autostart"), {QStringLiteral("klosia")});
    test::LogCapture capture;
    blocked.setEnabled(true);
    EXPECT_FALSE(blocked.isEnabled());
    EXPECT_EQ(capture.matching(std::string(Vezizur::mark(VezizurLevel::error))).size(), 1U);

    // A non-empty directory in the entry's place cannot be removed.
    ASSERT_TRUE(QDir().mkpath(autostart.entryPath() + QStringLiteral("/inside")));
    capture.clear();
    autostart.setEnabled(false);
    EXPECT_EQ(capture.matching(std::string(Vezizur::mark(VezizurLevel::error))).size(), 1U);
}

TEST(XdgAutostartExecTest, ArgumentsAreQuotedAndEscaped) {
    EXPECT_EQ(XdgAutostart::execValue({QStringLiteral("/usr/bin/klosia")}),
              QStringLiteral("/usr/bin/klosia"));
    EXPECT_EQ(XdgAutostart::execValue({QStringLiteral("/home/me/My Apps/klosia")}),
              QStringLiteral("\"/home/me/My Apps/klosia\""));
    // Inside quotes " ` $ \ get a backslash; then the string escaping doubles every backslash.
    EXPECT_EQ(XdgAutostart::execValue({QStringLiteral("/a\"b`c$d\\e")}),
              QStringLiteral(R"("/a\\"b\\`c\\$d\\\\e")"));
    // A program path with "%" goes through the shell, which GIO finds.
    EXPECT_EQ(XdgAutostart::execValue({QStringLiteral("/100%/k"), QString()}),
              QStringLiteral(R"(/bin/sh -c "exec \\"\\$0\\" \\"\\$@\\"" /100%%/k "")"));
    EXPECT_EQ(XdgAutostart::execValue({QStringLiteral("/bin/k"), QStringLiteral("50%")}),
              QStringLiteral("/bin/k 50%%"));
    EXPECT_EQ(XdgAutostart::execValue({QStringLiteral("/x\ny")}), QStringLiteral("\"/x\\ny\""));
    EXPECT_EQ(XdgAutostart::execValue({QStringLiteral("/bin/k"), QStringLiteral("--flag=1")}),
              QStringLiteral("/bin/k --flag=1"));
}

// GIO, which desktops start autostart entries with, runs exactly the command that was written,
// whatever the program's path holds.
TEST(XdgAutostartExecTest, GioStartsTheEntryWithTheExactArguments) {
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty()) {
        GTEST_SKIP() << "gio is not installed (scripts/setup.sh installs it)";
    }
    QTemporaryDir base;
    ASSERT_TRUE(base.isValid());
    const QString output = base.filePath(QStringLiteral("argv"));
    for (const QString& folder :
         {QStringLiteral("plain"), QStringLiteral("100% sure"),
          QStringLiteral("quote\"dollar$back\\slash`"), QStringLiteral("%U%%")}) {
        SCOPED_TRACE(folder.toStdString());
        const QString directory = base.filePath(folder);
        ASSERT_TRUE(QDir().mkpath(directory));
        // A program that writes down how it was started.
        const QString program = directory + QStringLiteral("/record");
        QFile script(program);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" > \"$KLOSIA_ARGV_FILE\"\n");
        script.close();
        ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner));
        QFile::remove(output);

        const QStringList command = {program, QStringLiteral("--background"),
                                     QStringLiteral("%f 10%")};
        XdgAutostart autostart(directory, command);
        autostart.setEnabled(true);
        ASSERT_TRUE(autostart.isEnabled());
        QProcess launch;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("KLOSIA_ARGV_FILE"), output);
        launch.setProcessEnvironment(environment);
        launch.start(gio, {QStringLiteral("launch"), autostart.entryPath()});
        ASSERT_TRUE(launch.waitForFinished(20000));
        EXPECT_EQ(launch.exitCode(), 0) << launch.readAllStandardError().toStdString();
        ASSERT_TRUE(test::waitUntil([&] { return QFileInfo(output).size() > 0; }))
            << "the entry's program did not run";
        QFile recorded(output);
        ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
        EXPECT_EQ(QString::fromUtf8(recorded.readAll()), command.join(QLatin1Char('\n')) + '\n');
    }
}

TEST(XdgAutostartExecTest, DefaultCommandIsTheRunningProgram) {
    const QStringList command = XdgAutostart::defaultCommand();
    ASSERT_EQ(command.size(), 1);
    EXPECT_TRUE(QDir::isAbsolutePath(command.first()));
    EXPECT_TRUE(QFileInfo(command.first()).isExecutable());
}

// The XDG base directory: an absolute XDG_CONFIG_HOME wins, a relative one is ignored.
TEST(XdgPathsTest, ConfigHomeFollowsTheBaseDirectoryRules) {
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const bool hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", "/home/tester");

    qputenv("XDG_CONFIG_HOME", "/tmp/conf/");
    EXPECT_EQ(XdgPaths::configHome(), QStringLiteral("/tmp/conf"));
    EXPECT_EQ(FileUserDefaults::defaultPath(), QStringLiteral("/tmp/conf/org.klosia.Klosia.json"));
    EXPECT_EQ(XdgAutostart::defaultDirectory(), QStringLiteral("/tmp/conf/autostart"));
    qputenv("XDG_CONFIG_HOME", "relative/conf");
    EXPECT_EQ(XdgPaths::configHome(), QStringLiteral("/home/tester/.config"));
    qputenv("XDG_CONFIG_HOME", "");
    EXPECT_EQ(XdgPaths::configHome(), QStringLiteral("/home/tester/.config"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(FileUserDefaults::defaultPath(),
              QStringLiteral("/home/tester/.config/org.klosia.Klosia.json"));

    qputenv("HOME", savedHome);
    if (hadConfig) {
        qputenv("XDG_CONFIG_HOME", savedConfig);
    }
}

}  // namespace
}  // namespace klosia
