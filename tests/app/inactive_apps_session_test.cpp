// Applications left in the background are warned about and then asked to quit, by the built
// program on real clients: the threshold is zero minutes, so the whole time line is the
// 30-second grace.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <set>

#include "FirstRun.h"
#include "model/AppPolicies.h"
#include "platform/linux/FileUserDefaults.h"
#include "settings/Preferences.h"
#include "support/DunstHistory.h"
#include "support/Wait.h"
#include "support/session/DesktopDriver.h"

namespace klosia {
namespace {

using test::BackgroundProgram;
using test::DesktopDriver;
using test::DunstHistory;
using test::waitUntil;

const QString kKlosia = QStringLiteral(KLOSIA_EXECUTABLE);

// The menu's entry for `pid`, from the command-line listing.
QJsonObject listedEntry(qint64 pid) {
    QProcess list;
    list.start(kKlosia, {QStringLiteral("--list"), QStringLiteral("--json")});
    list.waitForFinished(30000);
    for (const QJsonValue value : QJsonDocument::fromJson(list.readAllStandardOutput()).array()) {
        QJsonObject entry = value.toObject();
        if (entry.value(QStringLiteral("pids")).toArray().contains(QJsonValue(pid))) {
            return entry;
        }
    }
    return {};
}

std::vector<DunstHistory::Entry> shown() {
    DunstHistory::closeAll();
    return DunstHistory::entries();
}

bool wasShown(const QString& summary) {
    const std::vector<DunstHistory::Entry> entries = shown();
    return std::any_of(entries.begin(), entries.end(),
                       [&](const DunstHistory::Entry& entry) { return entry.summary == summary; });
}

bool anyShownAbout(const QString& name) {
    const std::vector<DunstHistory::Entry> entries = shown();
    return std::any_of(entries.begin(), entries.end(), [&](const DunstHistory::Entry& entry) {
        return entry.summary.startsWith(name + QLatin1Char(' '));
    });
}

TEST(InactiveAppsSession, BackgroundClientIsWarnedThenQuitWhileTheFrontAndNeverOnesStay) {
    DesktopDriver desktop;
    ASSERT_TRUE(desktop.isConnected());
    BackgroundProgram xlogo(QStringLiteral("xlogo"), {});
    BackgroundProgram xclock(QStringLiteral("xclock"), {});
    ASSERT_TRUE(waitUntil([&] {
        return !desktop.windowsOf(xlogo.pid()).empty() && !desktop.windowsOf(xclock.pid()).empty();
    }));
    // Started last, the fixture is the active application.
    BackgroundProgram front(QStringLiteral(KLOSIA_FIXTURE_PATH),
                            {QStringLiteral("--title"), QStringLiteral("Front")});
    ASSERT_TRUE(waitUntil([&] { return desktop.activeWindowPid() == front.pid(); }));

    const QJsonObject logo = listedEntry(xlogo.pid());
    const QJsonObject clock = listedEntry(xclock.pid());
    const QJsonObject frontEntry = listedEntry(front.pid());
    ASSERT_FALSE(logo.isEmpty() || clock.isEmpty() || frontEntry.isEmpty());
    const QString logoName = logo.value(QStringLiteral("name")).toString();

    {
        FileUserDefaults defaults(FileUserDefaults::defaultPath());
        saveAppPolicies(
            {{clock.value(QStringLiteral("bundleIdentifier")).toString(), MenuAppPolicy::never}},
            defaults);
        defaults.set(QString(Preferences::kQuitInactiveAppsAfter),
                     QByteArrayLiteral(R"({"enabled":true,"amount":0,"unit":60})"));
        ASSERT_TRUE(defaults.synchronize());
    }
    // The settings alert would take the front from the active client.
    ASSERT_TRUE(test::skipFirstRunAlert());
    shown();  // start from an empty history

    BackgroundProgram klosia(kKlosia, {});
    EXPECT_TRUE(waitUntil(
        [&] {
            const std::vector<DunstHistory::Entry> entries = shown();
            return std::any_of(entries.begin(), entries.end(), [&](const auto& entry) {
                return entry.summary.startsWith(logoName +
                                                QStringLiteral(" has been inactive for ")) &&
                       entry.body == QStringLiteral("Auto-quitting in 30 seconds.");
            });
        },
        std::chrono::seconds(15)))
        << "no warning for " << logoName.toStdString();

    // 30 seconds after the warning the background client is asked, and closes.
    EXPECT_TRUE(waitUntil([&] { return xlogo.process().state() == QProcess::NotRunning; },
                          std::chrono::seconds(45)))
        << logoName.toStdString() << " was never asked to quit";
    EXPECT_TRUE(waitUntil([&] { return wasShown(logoName + QStringLiteral(" has been quit ✋")); }));

    EXPECT_EQ(xclock.process().state(), QProcess::Running) << "its policy is Never";
    EXPECT_EQ(front.process().state(), QProcess::Running) << "it is in front";
    EXPECT_FALSE(anyShownAbout(clock.value(QStringLiteral("name")).toString()));
    EXPECT_FALSE(anyShownAbout(frontEntry.value(QStringLiteral("name")).toString()));
}

// Debian's libfaketime, in the directory of this machine's architecture; empty without it.
QString libfaketime() {
    for (const QFileInfo& directory :
         QDir(QStringLiteral("/usr/lib")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QString path = directory.filePath() + QStringLiteral("/faketime/libfaketime.so.1");
        if (QFile::exists(path)) {
            return path;
        }
    }
    return {};
}

// The program with its wall clock under `timestampFile`'s control (libfaketime), the boot clock
// and the monotonic one left alone.
QProcessEnvironment fakedWallClock(const QString& timestampFile) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), libfaketime());
    environment.insert(QStringLiteral("FAKETIME_TIMESTAMP_FILE"), timestampFile);
    environment.insert(QStringLiteral("FAKETIME_NO_CACHE"), QStringLiteral("1"));
    environment.insert(QStringLiteral("FAKETIME_DONT_FAKE_MONOTONIC"), QStringLiteral("1"));
    return environment;
}

bool setOffset(const QString& timestampFile, const QByteArray& offset) {
    QFile file(timestampFile);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(offset + '\n') > 0;
}

TEST(InactiveAppsSession, StepsOfTheWallClockChangeNothing) {
    if (libfaketime().isEmpty()) {
        GTEST_SKIP() << "libfaketime is not installed (scripts/setup.sh installs it)";
    }
    DesktopDriver desktop;
    ASSERT_TRUE(desktop.isConnected());
    BackgroundProgram xlogo(QStringLiteral("xlogo"), {});
    ASSERT_TRUE(waitUntil([&] { return !desktop.windowsOf(xlogo.pid()).empty(); }));
    BackgroundProgram front(QStringLiteral(KLOSIA_FIXTURE_PATH),
                            {QStringLiteral("--title"), QStringLiteral("Front")});
    ASSERT_TRUE(waitUntil([&] { return desktop.activeWindowPid() == front.pid(); }));
    const QString logoName = listedEntry(xlogo.pid()).value(QStringLiteral("name")).toString();
    ASSERT_FALSE(logoName.isEmpty());
    {
        FileUserDefaults defaults(FileUserDefaults::defaultPath());
        defaults.set(QString(Preferences::kQuitInactiveAppsAfter),
                     QByteArrayLiteral(R"({"enabled":true,"amount":1,"unit":3600})"));
        ASSERT_TRUE(defaults.synchronize());
    }
    ASSERT_TRUE(test::skipFirstRunAlert());
    // Only notifications from now on count: the history keeps the earlier tests'.
    std::set<int> earlier;
    for (const DunstHistory::Entry& entry : shown()) {
        earlier.insert(entry.id);
    }
    const auto newAbout = [&](const QString& name) {
        const std::vector<DunstHistory::Entry> entries = shown();
        return std::any_of(entries.begin(), entries.end(), [&](const DunstHistory::Entry& e) {
            return !earlier.contains(e.id) && e.summary.startsWith(name + QLatin1Char(' '));
        });
    };

    const QString timestamps = qEnvironmentVariable("KLOSIA_SESSION_DIR") + "/faketime";
    ASSERT_TRUE(setOffset(timestamps, "+0"));
    QProcess klosia;
    klosia.setProcessEnvironment(fakedWallClock(timestamps));
    klosia.start(kKlosia, {});
    ASSERT_TRUE(klosia.waitForStarted(10000));
    const auto pid = static_cast<pid_t>(klosia.processId());
    ASSERT_TRUE(waitUntil([&] { return !desktop.trayIconOf(pid).isEmpty(); }));
    QFile maps(QStringLiteral("/proc/%1/maps").arg(pid));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    ASSERT_TRUE(maps.readAll().contains("libfaketime")) << "the wall clock is not faked";

    // Two hours back (an NTP correction after a dual boot), for longer than the grace: neither
    // a warning nor a quit. Before, the absolute difference read two hours of inactivity.
    const auto warned = [&] {
        return newAbout(logoName) || xlogo.process().state() != QProcess::Running;
    };
    ASSERT_TRUE(setOffset(timestamps, "-2h"));
    EXPECT_FALSE(waitUntil(warned, std::chrono::seconds(35)));
    // Two hours forward: the same.
    ASSERT_TRUE(setOffset(timestamps, "+2h"));
    EXPECT_FALSE(waitUntil(warned, std::chrono::seconds(5)));
    EXPECT_EQ(xlogo.process().state(), QProcess::Running);
    klosia.terminate();
    klosia.waitForFinished(10000);
}

}  // namespace
}  // namespace klosia
