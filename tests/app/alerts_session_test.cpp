// The built program's first start in the virtual desktop, with settings, desktop entries and a
// mail handler of its own: the settings alert at the first start and not at the second, its way
// to the preferences, the Support tab handing a mailto address to the desktop's handler (a
// recording script registered for x-scheme-handler/mailto, reached through xdg-open), and the
// launch's update check telling of a newer version from a feed served by the test.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include <cstdio>

#include "core/AppInfo.h"
#include "core/SupportMail.h"
#include "platform/linux/FileUserDefaults.h"
#include "support/DunstHistory.h"
#include "support/FeedServer.h"
#include "support/Wait.h"
#include "support/session/DesktopDriver.h"
#include "support/session/PrivateHome.h"

namespace klosia {
namespace {

using test::BackgroundProgram;
using test::DesktopDriver;
using test::waitUntil;

const QString kKlosia = QStringLiteral(KLOSIA_EXECUTABLE);

QString artefactPath(const QString& name) {
    const QString directory = QStringLiteral(KLOSIA_ARTIFACT_DIR);
    QDir().mkpath(directory);
    return directory + QLatin1Char('/') + name;
}

class FirstStartSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.isConnected());
        ASSERT_TRUE(home.isValid());
    }

    QProcessEnvironment environment(const QString& feedAddress) const {
        QProcessEnvironment env = home.environment();
        env.insert(QStringLiteral("KLOSIA_UPDATE_FEED"), feedAddress);
        return env;
    }

    // The first-start counter of this version, as the program saved it.
    std::optional<std::int64_t> firstRunCount() const {
        FileUserDefaults defaults(home.settingsFile(), FileUserDefaults::Access::readOnly);
        return defaults.integer(QStringLiteral("kUserdefaultsFirstRunCount_") +
                                QLatin1String(appinfo::kVersion));
    }

    DesktopDriver desktop;
    test::PrivateHome home;
    test::FeedServer feed;
};

TEST_F(FirstStartSession, SettingsAlertOnceSupportWritesAMailAndALaunchTellsOfAnUpdate) {
    const bool notifications =
        qEnvironmentVariable("KLOSIA_SESSION_NOTIFICATIONS") == QLatin1String("1");
    if (notifications) {
        test::DunstHistory::closeAll();
    }
    feed.body = R"({"releases": [{"version": "99.1", "notes": "Everything is new.",
                    "releaseNotesLink": "https://example.org/klosia/99.1"}]})";

    auto klosia = std::make_unique<BackgroundProgram>(kKlosia, QStringList{},
                                                      environment(feed.url().toString()));
    const QString alertTitle = QStringLiteral("Welcome to Klosia");
    ASSERT_TRUE(waitUntil([&] { return DesktopDriver::hasWindowTitled(klosia->pid(), alertTitle); },
                          std::chrono::seconds(20)))
        << "no settings alert at the first start";
    EXPECT_TRUE(waitUntil([&] { return firstRunCount() == 1; }));
    const QString shot = artefactPath(QStringLiteral("settings-alert-first-start.png"));
    ASSERT_TRUE(DesktopDriver::screenshot(shot));
    std::printf("screenshot of the settings alert: %s\n", qPrintable(shot));

    // The launch's update check found the served newer version and said so, once.
    EXPECT_TRUE(waitUntil([&] { return !feed.requests.isEmpty(); })) << "the feed was never read";
    if (notifications) {
        std::vector<test::DunstHistory::Entry> news;
        EXPECT_TRUE(waitUntil([&] {
            test::DunstHistory::closeAll();
            news.clear();
            for (const auto& entry : test::DunstHistory::entries()) {
                if (entry.summary == QLatin1String("Klosia 99.1 is available")) {
                    news.push_back(entry);
                }
            }
            return !news.empty();
        }));
        ASSERT_EQ(news.size(), 1U);
        EXPECT_TRUE(news[0].body.contains(QStringLiteral("https://example.org/klosia/99.1")))
            << news[0].body.toStdString();
    }

    // From the keyboard alone: the alert's way to all preferences, the Support tab, its button.
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("alt+a")));
    ASSERT_TRUE(waitUntil([&] {
        return DesktopDriver::hasWindowTitled(klosia->pid(), QStringLiteral("General"));
    })) << "the preferences window did not open";
    EXPECT_TRUE(waitUntil([&] {
        return !DesktopDriver::hasWindowTitled(klosia->pid(), alertTitle);
    })) << "the alert should have faded out";
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("ctrl+Tab")));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("ctrl+Tab")));
    ASSERT_TRUE(waitUntil(
        [&] { return DesktopDriver::hasWindowTitled(klosia->pid(), QStringLiteral("Support")); }));
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("alt+c")));
    ASSERT_TRUE(waitUntil([&] { return !home.recordedMail().isEmpty(); }, std::chrono::seconds(20)))
        << "the mail handler was never started";
    const std::optional<QUrl> expected = SupportMail::url();
    ASSERT_TRUE(expected.has_value());
    EXPECT_EQ(home.recordedMail(), expected->toString(QUrl::FullyEncoded));
    EXPECT_TRUE(home.recordedMail().endsWith(
        QStringLiteral("?subject=Klosia%20Support%20%F0%9F%9B%9F&body=Hi")));
    klosia.reset();

    // The second start of the same version: no alert. Once the counter moved on, the alert
    // would already have been asked for; a round trip through the running program (its menu,
    // opened by a third start) makes sure any window it asked for has reached the X server.
    const int requests = static_cast<int>(feed.requests.size());
    klosia = std::make_unique<BackgroundProgram>(kKlosia, QStringList{}, environment(QString()));
    ASSERT_TRUE(waitUntil([&] { return firstRunCount() == 2; }, std::chrono::seconds(20)));
    QProcess third;
    third.setProcessEnvironment(environment(QString()));
    third.start(kKlosia, {});
    ASSERT_TRUE(third.waitForFinished(20000));
    ASSERT_TRUE(waitUntil([&] { return !desktop.popupsOf(klosia->pid()).empty(); }))
        << "the running program should have opened its menu";
    EXPECT_FALSE(DesktopDriver::hasWindowTitled(klosia->pid(), alertTitle))
        << "the alert came back";

    EXPECT_EQ(feed.requests.size(), requests) << "an empty feed address switches the check off";
}

}  // namespace
}  // namespace klosia
