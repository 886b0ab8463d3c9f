#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <optional>

#include "platform/helpers/ScopedEnv.h"
#include "platform/linux/DesktopEntries.h"
#include "support/LogCapture.h"

namespace klosia {
namespace {

using test::ScopedEnv;

// The entry of `id`, or an empty one, so a missing entry shows up as a wrong value.
DesktopEntry get(const DesktopEntries& entries, const QString& id) {
    return entries.entry(id).value_or(DesktopEntry{});
}

QString idOf(const std::optional<DesktopEntry>& entry) {
    return entry ? entry->id : QStringLiteral("<none>");
}

WindowIdentityHints wmClassHints(const char* instance, const char* wmClass) {
    WindowIdentityHints hints;
    hints.wmInstance = QString::fromLatin1(instance);
    hints.wmClass = QString::fromLatin1(wmClass);
    return hints;
}

class DesktopEntriesTest : public ::testing::Test {
protected:
    QTemporaryDir temp;
    // Two applications directories, `first` taking precedence, and programs for Exec.
    QString first() const { return temp.filePath(QStringLiteral("home/applications")); }
    QString second() const { return temp.filePath(QStringLiteral("system/applications")); }
    QString bin() const { return temp.filePath(QStringLiteral("bin")); }

    void SetUp() override { ASSERT_TRUE(temp.isValid()); }

    static void write(const QString& path, const QByteArray& content) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }
    // A minimal valid entry; `extra` lines go into the main group.
    static void entry(const QString& dir, const QString& id, const QByteArray& extra,
                      const QByteArray& exec = "/bin/true") {
        const QByteArray name =
            extra.startsWith("Name=") ? QByteArray() : "Name=" + id.toUtf8() + "\n";
        write(dir + QLatin1Char('/') + id + QStringLiteral(".desktop"),
              "[Desktop Entry]\nType=Application\n" + name + "Exec=" + exec + "\n" + extra);
    }
    QString program(const QString& name, const QByteArray& content = "#!/bin/sh\nexit 0\n") {
        QString path = bin() + QLatin1Char('/') + name;
        write(path, content);
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        return path;
    }
    DesktopEntries load() const { return DesktopEntries({first(), second()}); }
};

TEST_F(DesktopEntriesTest, ExplicitIdsComeFirst) {
    entry(first(), QStringLiteral("org.example.Editor"), "");
    entry(first(), QStringLiteral("writer"), "StartupWMClass=Editor\n");
    entry(first(), QStringLiteral("org.kde.viewer"), "");
    const DesktopEntries entries = load();

    WindowIdentityHints hints;
    hints.wmInstance = QStringLiteral("Editor");
    hints.wmClass = QStringLiteral("Editor");
    EXPECT_EQ(idOf(entries.match(hints)), QStringLiteral("writer"));
    hints.gtkApplicationId = QStringLiteral("org.example.Editor");
    EXPECT_EQ(idOf(entries.match(hints)), QStringLiteral("org.example.Editor"));
    // An unknown application id falls through to the next steps.
    hints.gtkApplicationId = QStringLiteral("org.example.Missing");
    EXPECT_EQ(idOf(entries.match(hints)), QStringLiteral("writer"));

    for (const QString& file :
         {QStringLiteral("org.kde.viewer"), QStringLiteral("org.kde.viewer.desktop"),
          QStringLiteral("/usr/share/applications/org.kde.viewer.desktop")}) {
        hints.kdeDesktopFile = file;
        EXPECT_EQ(idOf(entries.match(hints)), QStringLiteral("org.kde.viewer"))
            << file.toStdString();
    }
    hints.gtkApplicationId = QStringLiteral("org.example.Editor");
    EXPECT_EQ(idOf(entries.match(hints)), QStringLiteral("org.example.Editor"));
}

TEST_F(DesktopEntriesTest, WmClassAgainstStartupWmClass) {
    entry(first(), QStringLiteral("browser"), "StartupWMClass=Navigator\n");
    entry(first(), QStringLiteral("fox"), "StartupWMClass=firefox\n");
    entry(first(), QStringLiteral("shouting"), "StartupWMClass=TOOL\n");
    entry(first(), QStringLiteral("exact"), "StartupWMClass=Tool\n");
    entry(first(), QStringLiteral("gedit"), "");
    entry(first(), QStringLiteral("editor"), "StartupWMClass=gedit\n");
    const DesktopEntries entries = load();

    const auto match = [&](const char* instance, const char* wmClass) {
        return idOf(entries.match(wmClassHints(instance, wmClass)));
    };
    EXPECT_EQ(match("Navigator", "firefox"), QStringLiteral("browser"));  // instance first
    EXPECT_EQ(match("Other", "firefox"), QStringLiteral("fox"));
    // An exact class beats a case-insensitive instance.
    EXPECT_EQ(match("tool", "Tool"), QStringLiteral("exact"));
    EXPECT_EQ(match("navigator", "NAVIGATOR"), QStringLiteral("browser"));
    // StartupWMClass is a stronger claim than an id that happens to look alike.
    EXPECT_EQ(match("gedit", "Gedit"), QStringLiteral("editor"));
}

TEST_F(DesktopEntriesTest, WmClassAgainstDesktopIds) {
    entry(first(), QStringLiteral("org.gnome.gedit"), "");
    entry(first(), QStringLiteral("xterm"), "");
    entry(first(), QStringLiteral("org.example.term"), "");
    entry(first(), QStringLiteral("term"), "");
    entry(first(), QStringLiteral("com.vendor.Studio"), "");
    const DesktopEntries entries = load();

    const auto match = [&](const char* instance, const char* wmClass) {
        return idOf(entries.match(wmClassHints(instance, wmClass)));
    };
    EXPECT_EQ(match("gedit", "Gedit"), QStringLiteral("org.gnome.gedit"));
    EXPECT_EQ(match("", "XTerm"), QStringLiteral("xterm"));
    EXPECT_EQ(match("main", "com.vendor.studio"), QStringLiteral("com.vendor.Studio"));
    // A whole id beats a last part.
    EXPECT_EQ(match("", "Term"), QStringLiteral("term"));
    EXPECT_EQ(match("unrelated", "Nothing"), QStringLiteral("<none>"));
    EXPECT_EQ(match("", ""), QStringLiteral("<none>"));
}

TEST_F(DesktopEntriesTest, ProcessAgainstExec) {
    const QString real = QFileInfo(program(QStringLiteral("real-viewer"))).canonicalFilePath();
    ASSERT_TRUE(QFile::link(real, bin() + QStringLiteral("/viewer")));
    const QString pathed = QFileInfo(program(QStringLiteral("pathed-tool"))).canonicalFilePath();
    const ScopedEnv path("PATH", QFile::encodeName(bin()) + ':' + qgetenv("PATH"));
    entry(first(), QStringLiteral("viewer"), "", QFile::encodeName(bin()) + "/viewer %F");
    entry(first(), QStringLiteral("tool"), "", "env GDK_BACKEND=x11 pathed-tool --new %U");
    entry(first(), QStringLiteral("launcher"), "", "env xdg-open /tmp");
    const DesktopEntries entries = load();

    const auto match = [&](const QString& exe, const QStringList& cmdline) {
        WindowIdentityHints hints;
        hints.exePath = exe;
        hints.cmdline = cmdline;
        return idOf(entries.match(hints));
    };
    // /proc/PID/exe names the real file behind the Exec symlink.
    EXPECT_EQ(match(real, {QStringLiteral("anything")}), QStringLiteral("viewer"));
    EXPECT_EQ(match(real + QStringLiteral(" (deleted)"), {}), QStringLiteral("viewer"));
    // Resolved through PATH, behind env and its assignment.
    EXPECT_EQ(match(pathed, {}), QStringLiteral("tool"));
    // Another copy of the program: argv[0] carries the name.
    EXPECT_EQ(match(QStringLiteral("/opt/x/bin/other"), {QStringLiteral("./pathed-tool")}),
              QStringLiteral("tool"));
    EXPECT_EQ(match(QStringLiteral("/opt/x/bin/nothing"), {QStringLiteral("nothing")}),
              QStringLiteral("<none>"));
    // Entries of one program: the one whose arguments the process has, not the first one.
    entry(second(), QStringLiteral("term-server"), "", "pathed-tool --server");
    entry(second(), QStringLiteral("term"), "", "pathed-tool");
    entry(second(), QStringLiteral("term-hidden"), "NoDisplay=true\n", "pathed-tool --hold");
    const DesktopEntries shared = load();
    const auto matchShared = [&](const QStringList& cmdline) {
        WindowIdentityHints hints;
        hints.exePath = QStringLiteral("/opt/other/terminal");
        hints.cmdline = cmdline;
        return idOf(shared.match(hints));
    };
    EXPECT_EQ(matchShared({QStringLiteral("pathed-tool"), QStringLiteral("--app-id=x")}),
              QStringLiteral("term"));
    EXPECT_EQ(matchShared({QStringLiteral("pathed-tool"), QStringLiteral("--server")}),
              QStringLiteral("term-server"));
    EXPECT_EQ(matchShared({QStringLiteral("pathed-tool"), QStringLiteral("--new"),
                           QStringLiteral("/tmp/a")}),
              QStringLiteral("tool"));
    EXPECT_EQ(matchShared({QStringLiteral("pathed-tool"), QStringLiteral("--hold")}),
              QStringLiteral("term-hidden"))
        << "started by the hidden entry, so named by it";
    // A launcher in Exec says nothing about the windows of the program it opens.
    EXPECT_EQ(match(QStandardPaths::findExecutable(QStringLiteral("xdg-open")),
                    {QStringLiteral("xdg-open")}),
              QStringLiteral("<none>"));
}

TEST_F(DesktopEntriesTest, LinksToOneProgramDoNotMergeEntries) {
    // alpha and beta are links to one multi-call program; snapapp links to a launcher, as
    // every /snap/bin/* links to /usr/bin/snap.
    const QString multi = QFileInfo(program(QStringLiteral("multi"))).canonicalFilePath();
    ASSERT_TRUE(QFile::link(multi, bin() + QStringLiteral("/alpha")));
    ASSERT_TRUE(QFile::link(multi, bin() + QStringLiteral("/beta")));
    const QString snap = QFileInfo(program(QStringLiteral("snap"))).canonicalFilePath();
    ASSERT_TRUE(QFile::link(snap, bin() + QStringLiteral("/snapapp")));
    entry(first(), QStringLiteral("alpha"), "", QFile::encodeName(bin()) + "/alpha");
    entry(first(), QStringLiteral("beta"), "", QFile::encodeName(bin()) + "/beta --x");
    entry(first(), QStringLiteral("snapapp"), "", QFile::encodeName(bin()) + "/snapapp %U");
    const DesktopEntries entries = load();

    const auto match = [&](const QString& exe, const QStringList& cmdline) {
        WindowIdentityHints hints;
        hints.exePath = exe;
        hints.cmdline = cmdline;
        return idOf(entries.match(hints));
    };
    // The file behind both links names neither entry; the name it was started by does.
    EXPECT_EQ(match(multi, {QStringLiteral("multi")}), QStringLiteral("<none>"));
    EXPECT_EQ(match(multi, {QStringLiteral("beta")}), QStringLiteral("beta"));
    EXPECT_EQ(match(multi, {bin() + QStringLiteral("/alpha")}), QStringLiteral("alpha"));
    // snap itself (its daemon, another snap's start) is not the application.
    EXPECT_EQ(match(snap, {QStringLiteral("snap"), QStringLiteral("userd")}),
              QStringLiteral("<none>"));
    EXPECT_EQ(
        match(QStringLiteral("/snap/snapapp/12/usr/bin/snapapp"), {QStringLiteral("snapapp")}),
        QStringLiteral("snapapp"));
}

TEST_F(DesktopEntriesTest, InterpretersNeverMatchEachOther) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        GTEST_SKIP() << "python3 is not installed";
    }
    const QString pythonExe = QFileInfo(python).canonicalFilePath();
    const QString shellExe = QFileInfo(QStringLiteral("/bin/sh")).canonicalFilePath();
    const QString script = program(QStringLiteral("shebang-tool"));
    entry(first(), QStringLiteral("alpha"), "", "python3 /opt/tools/alpha.py");
    entry(first(), QStringLiteral("beta"), "", "/usr/bin/env python3 -u /opt/tools/beta.py %f");
    entry(first(), QStringLiteral("python"), "NoDisplay=true\n", python.toUtf8());
    entry(first(), QStringLiteral("shell"), "", "sh -c \"echo hi\"");
    entry(first(), QStringLiteral("module"), "", "python3 -m tiles.app");
    entry(first(), QStringLiteral("shebang"), "", script.toUtf8());
    const DesktopEntries entries = load();

    const auto match = [&](const QString& exe, const QStringList& cmdline) {
        WindowIdentityHints hints;
        hints.exePath = exe;
        hints.cmdline = cmdline;
        return idOf(entries.match(hints));
    };
    EXPECT_EQ(match(pythonExe, {QStringLiteral("python3"), QStringLiteral("/opt/tools/beta.py")}),
              QStringLiteral("beta"));
    EXPECT_EQ(match(pythonExe, {QStringLiteral("/usr/bin/python3"), QStringLiteral("-u"),
                                QStringLiteral("/opt/tools/alpha.py"), QStringLiteral("--x")}),
              QStringLiteral("alpha"));
    EXPECT_EQ(match(pythonExe,
                    {QStringLiteral("python3"), QStringLiteral("-m"), QStringLiteral("tiles.app")}),
              QStringLiteral("module"));
    // Same interpreter, no script or another script: neither the python entry nor the others.
    EXPECT_EQ(match(pythonExe, {QStringLiteral("python3")}), QStringLiteral("<none>"));
    EXPECT_EQ(match(pythonExe, {QStringLiteral("python3"), QStringLiteral("/home/u/other.py")}),
              QStringLiteral("<none>"));
    EXPECT_EQ(match(pythonExe, {QStringLiteral("python3"), QStringLiteral("/elsewhere/beta.py")}),
              QStringLiteral("<none>"));
    EXPECT_EQ(match(shellExe, {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("x")}),
              QStringLiteral("<none>"));
    // A script started through its #! line: the interpreter runs the Exec program.
    EXPECT_EQ(match(shellExe, {QStringLiteral("/bin/sh"), script}), QStringLiteral("shebang"));
}

TEST_F(DesktopEntriesTest, PrecedenceHiddenAndNoDisplay) {
    entry(first(), QStringLiteral("shared"), "Name=Home copy\n");
    entry(second(), QStringLiteral("shared"), "Name=System copy\nStartupWMClass=Shared\n");
    entry(first(), QStringLiteral("removed"), "Hidden=true\n");
    entry(second(), QStringLiteral("removed"), "StartupWMClass=Removed\n");
    // Same StartupWMClass: the hidden-from-menus one comes first in precedence but loses.
    entry(first(), QStringLiteral("helper"), "NoDisplay=true\nStartupWMClass=Paint\n");
    entry(second(), QStringLiteral("paint"), "StartupWMClass=Paint\n");
    entry(first(), QStringLiteral("one"), "StartupWMClass=Twin\n");
    entry(second(), QStringLiteral("two"), "StartupWMClass=Twin\n");
    entry(second(), QStringLiteral("imageview"), "NoDisplay=true\n");
    write(second() + QStringLiteral("/kde4/kate.desktop"),
          "[Desktop Entry]\nType=Application\nName=Kate\nExec=/bin/true\n");
    const DesktopEntries entries = load();

    // The first directory's file decides, StartupWMClass included.
    ASSERT_TRUE(entries.entry(QStringLiteral("shared")));
    EXPECT_EQ(get(entries, QStringLiteral("shared")).name, QStringLiteral("Home copy"));
    EXPECT_EQ(get(entries, QStringLiteral("shared.desktop")).filePath,
              first() + QStringLiteral("/shared.desktop"));
    EXPECT_FALSE(entries.entry(QStringLiteral("removed")));
    EXPECT_TRUE(entries.entry(QStringLiteral("kde4-kate")));

    const auto match = [&](const char* wmClass) {
        WindowIdentityHints hints;
        hints.wmClass = QString::fromLatin1(wmClass);
        return idOf(entries.match(hints));
    };
    EXPECT_EQ(match("Removed"), QStringLiteral("<none>"));
    EXPECT_EQ(match("Paint"), QStringLiteral("paint"));
    EXPECT_EQ(match("Twin"), QStringLiteral("one"));
    // A NoDisplay entry is still the answer when it is the only one.
    EXPECT_EQ(match("ImageView"), QStringLiteral("imageview"));
}

TEST_F(DesktopEntriesTest, DamagedFilesAreSkipped) {
    write(first() + QStringLiteral("/binary.desktop"), QByteArray("\x00\xff\xfe[[[\n\x01", 9));
    write(first() + QStringLiteral("/nogroup.desktop"), "Name=X\nExec=/bin/true\n");
    write(first() + QStringLiteral("/link.desktop"),
          "[Desktop Entry]\nType=Link\nName=L\nURL=https://example.org\n");
    write(first() + QStringLiteral("/missing.desktop"),
          "[Desktop Entry]\nType=Application\nName=M\nExec=/nonexistent/program\n");
    write(first() + QStringLiteral("/badquote.desktop"),
          "[Desktop Entry]\nType=Application\nName=Q\nExec=\"/bin/true\n");
    write(first() + QStringLiteral("/empty.desktop"), "");
    entry(first(), QStringLiteral("good"), "StartupWMClass=Good\n");
    // A broken copy still owns its id: the system one does not show through.
    entry(second(), QStringLiteral("missing"), "");

    test::LogCapture capture;
    const DesktopEntries entries = load();
    EXPECT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries.entry(QStringLiteral("good")));
    EXPECT_FALSE(entries.entry(QStringLiteral("missing")));
    EXPECT_EQ(capture.matching("binary.desktop skipped").size(), 1U);
    WindowIdentityHints hints;
    hints.wmClass = QStringLiteral("Good");
    EXPECT_EQ(idOf(entries.match(hints)), QStringLiteral("good"));

    const DesktopEntries none({temp.filePath(QStringLiteral("does-not-exist"))});
    EXPECT_EQ(none.size(), 0);
    EXPECT_FALSE(none.match(hints));
}

TEST_F(DesktopEntriesTest, ReloadRereadsOnlyAfterChanges) {
    entry(first(), QStringLiteral("early"), "");
    test::LogCapture capture;
    DesktopEntries entries = load();
    EXPECT_EQ(capture.matching("desktop entries:").size(), 1U);

    entries.reload();  // nothing changed: no second parse
    EXPECT_EQ(capture.matching("desktop entries:").size(), 1U);

    entry(second(), QStringLiteral("late"), "");
    entries.reload();
    EXPECT_EQ(capture.matching("desktop entries:").size(), 2U);
    EXPECT_TRUE(entries.entry(QStringLiteral("late")));

    entry(first(), QStringLiteral("early"), "Name=Renamed entry\n");
    entries.reload();
    ASSERT_TRUE(entries.entry(QStringLiteral("early")));
    EXPECT_EQ(get(entries, QStringLiteral("early")).name, QStringLiteral("Renamed entry"));

    ASSERT_TRUE(QFile::remove(second() + QStringLiteral("/late.desktop")));
    entries.reload();
    EXPECT_FALSE(entries.entry(QStringLiteral("late")));
}

// GLib reads LANGUAGE, LC_ALL, LC_MESSAGES and LANG each time it is asked for the language
// list and recomputes its per-thread cache when they changed, so one process can load the same
// file under several locales.
TEST_F(DesktopEntriesTest, NameFollowsTheLocale) {
    write(first() + QStringLiteral("/calc.desktop"),
          "[Desktop Entry]\nType=Application\nName=Calculator\nName[de]=Rechner\n"
          "Name[pt_BR]=Calculadora\nExec=/bin/true\nIcon=calc\n");
    const ScopedEnv lcAll("LC_ALL", "");
    const ScopedEnv lcMessages("LC_MESSAGES", "");
    {
        const ScopedEnv language("LANGUAGE", "de");
        EXPECT_EQ(get(load(), QStringLiteral("calc")).name, QStringLiteral("Rechner"));
    }
    {
        const ScopedEnv language("LANGUAGE", "");
        const ScopedEnv lang("LANG", "pt_BR.UTF-8");
        EXPECT_EQ(get(load(), QStringLiteral("calc")).name, QStringLiteral("Calculadora"));
    }
    {
        const ScopedEnv language("LANGUAGE", "fr:de");
        EXPECT_EQ(get(load(), QStringLiteral("calc")).name, QStringLiteral("Rechner"));
    }
    {
        const ScopedEnv language("LANGUAGE", "fr");
        EXPECT_EQ(get(load(), QStringLiteral("calc")).name, QStringLiteral("Calculator"));
        EXPECT_EQ(get(load(), QStringLiteral("calc")).iconName, QStringLiteral("calc"));
    }
}

}  // namespace
}  // namespace klosia
