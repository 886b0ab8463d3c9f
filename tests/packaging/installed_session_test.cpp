// The program as `cmake --install` lays it out, in a prefix of its own, started in the virtual
// desktop: it plays the sounds installed beside it, and the start at login it writes names the
// installed program, not the one in the build tree.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <set>

#include "support/Wait.h"
#include "support/session/DesktopDriver.h"
#include "support/session/PrivateHome.h"

namespace klosia {
namespace {

using test::BackgroundProgram;
using test::DesktopDriver;
using test::waitUntil;

// The names of the files opened in one directory, as inotify reports them.
class OpenedFiles {
public:
    explicit OpenedFiles(const QString& directory) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        if (fd_ >= 0) {
            watch_ = inotify_add_watch(fd_, QFile::encodeName(directory).constData(), IN_OPEN);
        }
    }
    ~OpenedFiles() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    OpenedFiles(const OpenedFiles&) = delete;
    OpenedFiles& operator=(const OpenedFiles&) = delete;

    bool isValid() const { return fd_ >= 0 && watch_ >= 0; }
    const std::set<QString>& names() {
        alignas(inotify_event) std::array<char, 4096> buffer{};
        ssize_t length = 0;
        while ((length = ::read(fd_, buffer.data(), buffer.size())) > 0) {
            for (ssize_t offset = 0; offset < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + offset);
                if (event->len > 0) {
                    names_.insert(QFile::decodeName(event->name));
                }
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return names_;
    }

private:
    int fd_;
    int watch_ = -1;
    std::set<QString> names_;
};

QString readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class InstalledTreeSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.isConnected());
        ASSERT_TRUE(prefix.isValid() && soundHome.isValid() && home.isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(KLOSIA_CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(KLOSIA_BUILD_DIR),
                       QStringLiteral("--prefix"), prefix.path()});
        ASSERT_TRUE(install.waitForFinished(120000));
        ASSERT_EQ(install.exitCode(), 0) << install.readAll().toStdString();
        // ALSA's null device stands in for a sound card: the files are still opened and decoded.
        QFile asoundrc(soundHome.filePath(QStringLiteral(".asoundrc")));
        ASSERT_TRUE(asoundrc.open(QIODevice::WriteOnly));
        asoundrc.write("pcm.!default { type null }\n");
    }

    QString installed(const QString& relative) const { return prefix.filePath(relative); }

    QTemporaryDir prefix;
    QTemporaryDir soundHome;
    DesktopDriver desktop;
    test::PrivateHome home;
};

TEST_F(InstalledTreeSession, PlaysTheInstalledSoundsAndStartsTheInstalledProgramAtLogin) {
    // What a user needs, and nothing that only the tests need.
    for (const char* file :
         {"bin/klosia", "share/klosia/sounds/klosia.wav", "share/klosia/sounds/quit-single.wav",
          "share/applications/org.klosia.Klosia.desktop",
          "share/icons/hicolor/scalable/apps/org.klosia.Klosia.svg",
          "share/icons/hicolor/scalable/apps/org.klosia.Klosia-symbolic.svg",
          "share/metainfo/org.klosia.Klosia.metainfo.xml", "share/man/man1/klosia.1"}) {
        EXPECT_TRUE(QFile::exists(installed(QLatin1String(file)))) << file << " is not installed";
    }
    for (QDirIterator it(prefix.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        const QString name = QFileInfo(it.next()).fileName();
        EXPECT_FALSE(name.contains(QLatin1String("fixture")) ||
                     name.startsWith(QLatin1String("tests_")) ||
                     name.startsWith(QLatin1String("session_tests")))
            << name.toStdString() << " is only for the tests";
    }

    OpenedFiles sounds(installed(QStringLiteral("share/klosia/sounds")));
    ASSERT_TRUE(sounds.isValid());
    BackgroundProgram xlogo(QStringLiteral("xlogo"), {});
    ASSERT_TRUE(waitUntil([&] { return !desktop.windowsOf(xlogo.pid()).empty(); }));

    const QString program = installed(QStringLiteral("bin/klosia"));
    QProcessEnvironment environment = home.environment();
    environment.insert(QStringLiteral("HOME"), soundHome.path());
    BackgroundProgram klosia(program, {}, environment);

    // The first start's alert: start at login and sounds on, from the keyboard, then Done.
    const QString alertTitle = QStringLiteral("Welcome to Klosia");
    ASSERT_TRUE(waitUntil([&] { return DesktopDriver::hasWindowTitled(klosia.pid(), alertTitle); },
                          std::chrono::seconds(20)))
        << "no settings alert at the first start";
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("alt+l")));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("alt+s")));
    const QString entry = home.config() + QStringLiteral("/autostart/org.klosia.Klosia.desktop");
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(entry); })) << "no autostart entry";
    EXPECT_TRUE(
        readFile(entry).split(QLatin1Char('\n')).contains(QStringLiteral("Exec=") + program))
        << readFile(entry).toStdString();
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Return")));
    ASSERT_TRUE(
        waitUntil([&] { return !DesktopDriver::hasWindowTitled(klosia.pid(), alertTitle); }));

    // The row's own quit, from the keyboard: the only row is XLogo.
    QRect icon;
    ASSERT_TRUE(waitUntil([&] { return !(icon = desktop.trayIconOf(klosia.pid())).isEmpty(); },
                          std::chrono::seconds(20)));
    ASSERT_TRUE(DesktopDriver::click(icon.center()));
    ASSERT_TRUE(waitUntil([&] { return !desktop.popupsOf(klosia.pid()).empty(); }))
        << "no menu after a press on the icon";
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Down")));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Delete")));
    EXPECT_TRUE(waitUntil([&] { return xlogo.process().state() == QProcess::NotRunning; }))
        << "the row's quit did not end xlogo";
    EXPECT_TRUE(waitUntil([&] {
        return sounds.names().count(QStringLiteral("quit-single.wav")) > 0;
    })) << "the installed quit sound was not played";
}

}  // namespace
}  // namespace klosia
