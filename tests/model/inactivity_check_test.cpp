// The automatic quitting of applications left in the background, on a clock the test moves.
#include <gtest/gtest.h>

#include <limits>

#include "fakes/FakeRunningApplication.h"
#include "model/InactivityCheck.h"
#include "support/LogCapture.h"

namespace klosia {
namespace {

using namespace std::chrono_literals;
using test::FakeRunningApplication;
using test::FakeRunningApplicationPtr;

struct Shown {
    QString title;
    QString subtitle;
};

class InactivityCheckTest : public ::testing::Test {
protected:
    InactivityCheckTest()
        : check([this](const QString& title, const QString& subtitle) {
              shown.push_back({title, subtitle});
          }) {
        rule.enabled = true;
        rule.amount = 1;
        rule.unit = InactiveAppsAfterTime::minute;
    }

    FakeRunningApplicationPtr app(const char* name, const char* id, pid_t pid = 0) {
        auto made = FakeRunningApplication::make(QString::fromUtf8(name), QString::fromUtf8(id),
                                                 ActivationPolicy::regular, pid);
        running.push_back(made);
        return made;
    }
    // Ticks once a second from the current time up to and including `until` seconds.
    void runTo(int until) {
        for (; clockSecond <= until; ++clockSecond) {
            check.tick(rule, start + std::chrono::seconds(clockSecond), running, policies);
        }
    }

    test::LogCapture log;
    std::vector<Shown> shown;
    InactivityCheck check;
    InactiveAppsAfter rule;
    std::vector<RunningApplicationPtr> running;
    AppPolicies policies;
    BootClock::time_point start{std::chrono::seconds(86'400)};
    int clockSecond = 0;
};

TEST_F(InactivityCheckTest, OneMinuteWarnsAtSixtySecondsAndQuitsThirtyLater) {
    const auto mail = app("Mail", "org.example.Mail");
    mail->endsOnRequest = true;
    runTo(59);
    EXPECT_TRUE(shown.empty());
    runTo(60);
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_EQ(shown[0].title, QStringLiteral("Mail has been inactive for 1 minute"));
    EXPECT_EQ(shown[0].subtitle, QStringLiteral("Auto-quitting in 30 seconds."));
    EXPECT_FALSE(log.matching("inactiveApp: Mail will quit in 30 seconds").empty());
    runTo(89);
    EXPECT_EQ(mail->terminateCalls, 0);
    runTo(90);
    EXPECT_EQ(mail->terminateCalls, 1);
    ASSERT_EQ(shown.size(), 2U);
    EXPECT_EQ(shown[1].title, QStringLiteral("Mail has been quit ✋"));
    EXPECT_EQ(shown[1].subtitle, QStringLiteral("Your wish is my command."));
    EXPECT_TRUE(check.inactiveApps.isEmpty());
    EXPECT_TRUE(check.notifiedApps.isEmpty());
    EXPECT_EQ(mail->forceTerminateCalls, 0) << "the automatic quit is always the polite one";
}

TEST_F(InactivityCheckTest, TwoDaysUseDaysOfEightySixThousandSeconds) {
    rule.amount = 2;
    rule.unit = InactiveAppsAfterTime::day;
    app("Notes", "org.example.Notes");
    check.tick(rule, start, running, policies);
    check.tick(rule, start + 172799s, running, policies);
    EXPECT_TRUE(shown.empty());
    check.tick(rule, start + 172800s, running, policies);
    ASSERT_EQ(shown.size(), 1U);
    EXPECT_EQ(shown[0].title, QStringLiteral("Notes has been inactive for 2 days"));
}

TEST_F(InactivityCheckTest, FrontmostNeverAndRefusingApplications) {
    const auto front = app("Front", "org.example.Front");
    front->active = true;
    const auto kept = app("Kept", "org.example.Kept");
    policies.insert(QStringLiteral("org.example.Kept"), MenuAppPolicy::never);
    const auto stubborn = app("Stubborn", "org.example.Stubborn");
    stubborn->terminateAnswer = false;
    const auto accessory = FakeRunningApplication::make(
        QStringLiteral("Tray"), QStringLiteral("org.example.Tray"), ActivationPolicy::accessory);
    running.push_back(accessory);

    runTo(95);
    EXPECT_EQ(front->terminateCalls, 0);
    EXPECT_EQ(kept->terminateCalls, 0);
    EXPECT_EQ(accessory->terminateCalls, 0);
    // Refused at 90 and asked again every second, with no "has been quit" until it accepts.
    EXPECT_EQ(stubborn->terminateCalls, 6);
    EXPECT_EQ(log.matching("Terminate app: Stubborn").size(), 6U);
    ASSERT_EQ(shown.size(), 1U) << "only the warning";
    stubborn->terminateAnswer = true;
    runTo(96);
    ASSERT_EQ(shown.size(), 2U);
    EXPECT_EQ(shown[1].title, QStringLiteral("Stubborn has been quit ✋"));
}

TEST_F(InactivityCheckTest, ReturningToTheFrontResetsTheTimeAndTheWarning) {
    const auto mail = app("Mail", "org.example.Mail");
    runTo(70);
    ASSERT_EQ(shown.size(), 1U);
    mail->active = true;
    runTo(80);
    EXPECT_TRUE(check.inactiveApps.isEmpty());
    EXPECT_TRUE(check.notifiedApps.isEmpty());
    mail->active = false;
    // Its inactivity starts again at 81: a warning of its own at 81 + 60, the quit 30 later.
    runTo(140);
    EXPECT_EQ(shown.size(), 1U);
    runTo(141);
    ASSERT_EQ(shown.size(), 2U);
    EXPECT_EQ(shown[1].title, QStringLiteral("Mail has been inactive for 1 minute"));
    runTo(170);
    EXPECT_EQ(mail->terminateCalls, 0);
    runTo(171);
    EXPECT_EQ(mail->terminateCalls, 1);
}

TEST_F(InactivityCheckTest, AfterASuspendTheFullWarningComesBeforeAnyQuit) {
    const auto mail = app("Mail", "org.example.Mail");
    const auto notes = app("Notes", "org.example.Notes");
    runTo(10);
    notes->active = true;  // Notes goes to the back only later
    runTo(30);
    notes->active = false;
    runTo(75);  // Mail warned at 60; Notes tracked since 31
    ASSERT_EQ(shown.size(), 1U);
    // The machine sleeps for an hour, which the boot clock counts.
    clockSecond += 3600;
    runTo(clockSecond);
    // Both are past their time now; each gets a warning first, the one shown before the sleep
    // included, and nothing is quit before its 30 seconds.
    ASSERT_EQ(shown.size(), 3U);
    EXPECT_EQ(mail->terminateCalls, 0);
    EXPECT_EQ(notes->terminateCalls, 0);
    EXPECT_EQ(log.matching("every warning is shown again").size(), 1U);
    const int resumed = clockSecond - 1;
    runTo(resumed + 29);
    EXPECT_EQ(mail->terminateCalls + notes->terminateCalls, 0);
    runTo(resumed + 30);
    EXPECT_EQ(mail->terminateCalls, 1);
    EXPECT_EQ(notes->terminateCalls, 1);
}

TEST_F(InactivityCheckTest, OneEntryPerIdentityQuitsTheProcessItRecorded) {
    const auto first = app("Term", "org.example.Term", 100);
    runTo(10);
    const auto second = app("Term", "org.example.Term", 200);
    runTo(90);
    EXPECT_EQ(first->terminateCalls, 1);
    EXPECT_EQ(second->terminateCalls, 0);

    // The recorded process ended; the other one is new and waits its own full time.
    first->terminated = true;
    running.erase(running.begin());
    check.inactiveApps.clear();  // as after the accepted quit
    runTo(91);
    ASSERT_TRUE(check.inactiveApps.contains(QStringLiteral("org.example.Term")));
    EXPECT_EQ(check.inactiveApps.value(QStringLiteral("org.example.Term")).runningApplication,
              second);
    runTo(180);
    EXPECT_EQ(second->terminateCalls, 0);
    runTo(181);
    EXPECT_EQ(second->terminateCalls, 1);
}

TEST_F(InactivityCheckTest, ANewProcessOfATrackedIdentityStartsFromZero) {
    const auto old = app("Term", "org.example.Term", 100);
    runTo(50);
    old->terminated = true;
    running.clear();
    const auto fresh = app("Term", "org.example.Term", 200);
    runTo(139);
    EXPECT_EQ(fresh->terminateCalls, 0) << "50 seconds of the old process must not count";
    runTo(141);
    EXPECT_EQ(fresh->terminateCalls, 1);
}

TEST_F(InactivityCheckTest, NegativeAndHugeAmountsNeverQuitAnything) {
    const auto mail = app("Mail", "org.example.Mail");
    rule.amount = -5;
    runTo(200);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(mail->terminateCalls, 0);
    EXPECT_EQ(log.matching("is negative").size(), 1U) << "logged once";

    rule.amount = std::numeric_limits<std::int64_t>::max() / 2;
    rule.unit = InactiveAppsAfterTime::day;
    EXPECT_EQ(InactivityCheck::thresholdSeconds(rule), std::numeric_limits<std::int64_t>::max());
    check.tick(rule, start + std::chrono::hours(24 * 365 * 100), running, policies);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(mail->terminateCalls, 0);
}

TEST_F(InactivityCheckTest, SwitchedOffDoesNothingAndKeepsTheMaps) {
    app("Mail", "org.example.Mail");
    runTo(10);
    rule.enabled = false;
    log.clear();
    runTo(200);
    EXPECT_TRUE(log.lines().empty());
    EXPECT_EQ(check.inactiveApps.size(), 1);
}

TEST(InactivityDuration, TruncatesToTheLargestWholeUnit) {
    EXPECT_EQ(InactivityCheck::durationText(0), QStringLiteral("0 seconds"));
    EXPECT_EQ(InactivityCheck::durationText(1), QStringLiteral("1 second"));
    EXPECT_EQ(InactivityCheck::durationText(59), QStringLiteral("59 seconds"));
    EXPECT_EQ(InactivityCheck::durationText(119), QStringLiteral("1 minute"));
    EXPECT_EQ(InactivityCheck::durationText(3599), QStringLiteral("59 minutes"));
    EXPECT_EQ(InactivityCheck::durationText(7199), QStringLiteral("1 hour"));
    EXPECT_EQ(InactivityCheck::durationText(86399), QStringLiteral("23 hours"));
    EXPECT_EQ(InactivityCheck::durationText(86400), QStringLiteral("1 day"));
}

}  // namespace
}  // namespace klosia
