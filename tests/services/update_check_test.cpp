// The update check over real HTTP: a feed served by a small server inside the test, read by the
// program's Qt Network feed and judged by the updater, for every outcome the user can meet.
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "platform/linux/HttpReleaseFeed.h"
#include "services/Updater.h"
#include "support/FeedServer.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using test::waitUntil;

class UpdateCheckTest : public ::testing::Test {
protected:
    // The user's check from the About tab, against `feed`, for the running `version`.
    std::optional<UpdateCheckResult> check(ReleaseFeed& feed, const QString& version) {
        Updater updater(feed, version, [this](const QString& title, const QString& subtitle) {
            notifications.append(title + QLatin1Char('|') + subtitle);
        });
        std::optional<UpdateCheckResult> outcome;
        updater.checkForUpdates([&outcome](const UpdateCheckResult& result) { outcome = result; });
        EXPECT_FALSE(outcome.has_value()) << "answered later, never inside the call";
        EXPECT_TRUE(waitUntil([&] { return outcome.has_value(); }, std::chrono::seconds(20)));
        return outcome;
    }

    test::LogCapture log;
    test::FeedServer server;
    QStringList notifications;
};

const QByteArray kFeed = R"({"releases": [
    {"version": "1.9", "notes": "Older."},
    {"version": "1.10.0", "notes": "Faster menu.\nFewer clicks.",
     "releaseNotesLink": "https://example.org/klosia/1.10",
     "downloadLink": "file:///etc/passwd"},
    {"version": "2.0-beta", "notes": "Not a version this program reads."},
    {"notes": "No version at all."},
    "not an entry"
]})";

TEST_F(UpdateCheckTest, UpToDateAndNewerAgainstAServedFeed) {
    ASSERT_TRUE(server.isListening());
    server.body = kFeed;
    HttpReleaseFeed feed(server.url());
    ASSERT_TRUE(feed.isEnabled());

    std::optional<UpdateCheckResult> result = check(feed, QStringLiteral("1.10"));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->status, UpdateCheckResult::Status::upToDate) << result->error.toStdString();
    EXPECT_EQ(result->latest.version, QStringLiteral("1.10.0"));
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_TRUE(server.requests[0].startsWith(QStringLiteral("GET /releases.json HTTP/1.1")));

    result = check(feed, QStringLiteral("1.9.5"));
    ASSERT_TRUE(result.has_value());
    ASSERT_EQ(result->status, UpdateCheckResult::Status::newer) << result->error.toStdString();
    EXPECT_EQ(result->latest.version, QStringLiteral("1.10.0")) << "the newest, not the first";
    EXPECT_EQ(result->latest.notes, QStringLiteral("Faster menu.\nFewer clicks."));
    EXPECT_EQ(result->latest.releaseNotesLink,
              QUrl(QStringLiteral("https://example.org/klosia/1.10")));
    EXPECT_TRUE(result->latest.downloadLink.isEmpty()) << "only web addresses are kept";
    EXPECT_EQ(result->link(), result->latest.releaseNotesLink);
    EXPECT_TRUE(notifications.isEmpty()) << "the user's own check answers in its window";
}

TEST_F(UpdateCheckTest, MalformedFeedsAndServerErrorsFailWithAReason) {
    HttpReleaseFeed feed(server.url());
    const std::vector<std::pair<QByteArray, QByteArray>> cases = {
        {"200 OK", "{\"releases\": [{\"version\": \"1.2\"}"},  // cut short
        {"200 OK", "<rss><channel/></rss>"},
        {"200 OK", "{\"releases\": \"1.2\"}"},
        {"200 OK", "{\"releases\": [{\"version\": \"next\"}]}"},
        {"200 OK", "[]"},
        {"404 Not Found", "{\"releases\": [{\"version\": \"9\"}]}"},
    };
    for (const auto& [status, body] : cases) {
        SCOPED_TRACE(body.toStdString());
        server.status = status;
        server.body = body;
        const std::optional<UpdateCheckResult> result = check(feed, QStringLiteral("1.0"));
        ASSERT_TRUE(result.has_value());
        EXPECT_EQ(result->status, UpdateCheckResult::Status::failed);
        EXPECT_FALSE(result->error.isEmpty());
    }
    EXPECT_EQ(log.matching("update check failed: ").size(), cases.size());
}

TEST_F(UpdateCheckTest, AnUnreachableOrOversizedFeedFails) {
    QUrl unreachable;
    {
        test::FeedServer gone;  // a port that was just free and is closed again
        unreachable = gone.url();
    }
    HttpReleaseFeed feedAway(unreachable);
    std::optional<UpdateCheckResult> result = check(feedAway, QStringLiteral("1.0"));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->status, UpdateCheckResult::Status::failed);
    EXPECT_TRUE(result->error.contains(QStringLiteral("could not be read")))
        << result->error.toStdString();

    server.body = "{\"releases\": [{\"version\": \"9\", \"notes\": \"" +
                  QByteArray(HttpReleaseFeed::kMaximumBytes, 'x') + "\"}]}";
    HttpReleaseFeed feedTooLarge(server.url());
    result = check(feedTooLarge, QStringLiteral("1.0"));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->status, UpdateCheckResult::Status::failed);
    EXPECT_TRUE(result->error.contains(QStringLiteral("larger"))) << result->error.toStdString();

    // Only web addresses are read.
    HttpReleaseFeed feedLocal(QUrl(QStringLiteral("file:///etc/hostname")));
    result = check(feedLocal, QStringLiteral("1.0"));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->status, UpdateCheckResult::Status::failed);
    EXPECT_EQ(server.requests.size(), 1) << "the local address was never asked for";
}

TEST_F(UpdateCheckTest, TheLaunchCheckNotifiesOnceOnlyOfANewerVersion) {
    server.body = kFeed;
    HttpReleaseFeed feed(server.url());
    for (const char* running : {"1.10", "1.11", "1.9"}) {
        Updater updater(feed, QString::fromLatin1(running),
                        [this](const QString& title, const QString& subtitle) {
                            notifications.append(title + QLatin1Char('|') + subtitle);
                        });
        const std::size_t before = log.matching("update check: ").size();
        updater.checkForUpdatesInBackground();
        ASSERT_TRUE(waitUntil([&] { return log.matching("update check: ").size() == before + 2; }))
            << running;
    }
    ASSERT_EQ(notifications.size(), 1) << "only 1.9 is behind the feed";
    EXPECT_EQ(notifications[0],
              QStringLiteral("Klosia 1.10.0 is available|You have 1.9. Read more and download it "
                             "at https://example.org/klosia/1.10"));

    // No feed: no request at all.
    HttpReleaseFeed off{QUrl()};
    EXPECT_FALSE(off.isEnabled());
    Updater updater(off, QStringLiteral("1.0"), nullptr);
    const int requests = static_cast<int>(server.requests.size());
    updater.checkForUpdatesInBackground();
    EXPECT_EQ(log.matching("update check: off").size(), 1U);
    EXPECT_EQ(server.requests.size(), requests);
}

}  // namespace
}  // namespace klosia
