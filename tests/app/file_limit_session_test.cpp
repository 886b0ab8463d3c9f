// The built program under Debian's default limit of 1,024 open files, on a desktop where one
// application runs 2,000 helpers of its own program (a browser's content processes): it must
// still open its menu, save a setting and quit an application, with descriptors to spare.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QProcess>

#include "FirstRun.h"
#include "platform/linux/FileUserDefaults.h"
#include "settings/Preferences.h"
#include "support/Wait.h"
#include "support/session/ClientProcess.h"
#include "support/session/DesktopDriver.h"

namespace klosia {
namespace {

using test::BackgroundProgram;
using test::Client;
using test::DesktopDriver;
using test::waitUntil;

constexpr int kHelpers = 2000;
constexpr int kFileLimit = 1024;

int openDescriptors(pid_t pid) {
    return static_cast<int>(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot)
                                .size());
}

TEST(FileLimitSession, TwoThousandHelpersLeaveDescriptorsForTheMenuTheSettingsAndAQuit) {
    DesktopDriver desktop;
    ASSERT_TRUE(desktop.isConnected());
    ASSERT_TRUE(test::skipFirstRunAlert());
    Client browser(QStringLiteral(KLOSIA_FIXTURE_PATH),
                   {QStringLiteral("--class"), QStringLiteral("manyhelpers,ManyHelpers"),
                    QStringLiteral("--helpers"), QString::number(kHelpers)});
    ASSERT_TRUE(browser.line(QStringLiteral("helpers ")).has_value());
    ASSERT_TRUE(browser.line(QStringLiteral("ready")).has_value());
    // They are the application's helpers, as the menu lists them.
    QProcess list;
    list.start(
        QStringLiteral(KLOSIA_EXECUTABLE),
        {QStringLiteral("--list"), QStringLiteral("--json"), QStringLiteral("--background")});
    ASSERT_TRUE(list.waitForFinished(60000));
    qsizetype pids = 0;
    for (const QJsonValue entry : QJsonDocument::fromJson(list.readAllStandardOutput()).array()) {
        if (entry[QStringLiteral("bundleIdentifier")].toString() == QStringLiteral("ManyHelpers")) {
            pids = entry[QStringLiteral("pids")].toArray().size();
        }
    }
    ASSERT_EQ(pids, kHelpers + 1);

    // Both limits at 1,024, as `ulimit -n 1024` sets them: nothing to raise.
    BackgroundProgram klosia(
        QStringLiteral("sh"),
        {QStringLiteral("-c"), QStringLiteral("ulimit -n %1 && exec \"$0\"").arg(kFileLimit),
         QStringLiteral(KLOSIA_EXECUTABLE)});
    QRect icon;
    ASSERT_TRUE(waitUntil([&] { return !(icon = desktop.trayIconOf(klosia.pid())).isEmpty(); },
                          std::chrono::seconds(30)))
        << "no tray icon";

    // The menu opens, and Ctrl+B shows the helpers, which saves the setting.
    ASSERT_TRUE(DesktopDriver::click(icon.center()));
    ASSERT_TRUE(waitUntil([&] { return !desktop.popupsOf(klosia.pid()).empty(); }))
        << "the menu did not open";
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("ctrl+b")));
    EXPECT_TRUE(waitUntil([] {
        FileUserDefaults saved(FileUserDefaults::defaultPath(), FileUserDefaults::Access::readOnly);
        return saved.data(QString(Preferences::kShowBackgroundApps)) == QByteArrayLiteral("true");
    })) << "the setting was not saved";
    EXPECT_LT(openDescriptors(klosia.pid()), kFileLimit / 2);

    // Return presses the main button: the application is asked to close and goes, its helpers
    // with it.
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Return")));
    EXPECT_TRUE(browser.hasExited()) << "the application was not quit";
    EXPECT_EQ(browser.process().exitCode(), 0) << "it closed its window itself";
    EXPECT_EQ(klosia.process().state(), QProcess::Running);
    EXPECT_LT(openDescriptors(klosia.pid()), kFileLimit / 2);
}

}  // namespace
}  // namespace klosia
