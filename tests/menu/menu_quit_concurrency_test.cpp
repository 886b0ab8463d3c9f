// Quits whose completions really arrive at the same time on several threads. Built with
// -DKLOSIA_TSAN=ON these run under the thread sanitizer (CTest label "tsan"); in the ordinary
// build they still check that every run ends with exactly one notification, or none.
#include <gtest/gtest.h>

#include <QString>

#include <atomic>
#include <memory>
#include <vector>

#include "fakes/FakeApplicationDelegate.h"
#include "fakes/ThreadedDispatcher.h"
#include "menu/MenuCellQuit.h"
#include "menu/MenuQuitRun.h"
#include "menu/MenuTestSupport.h"
#include "support/LogCapture.h"

using namespace klosia;
using test::fakeProcess;
using test::menuEntry;

namespace {

class MenuQuitConcurrency : public ::testing::Test {
public:
    MenuQuitConcurrency() : bus(dispatcher), busScope(bus) {}

protected:
    // Waits until every request and look has run and their main-queue work is done.
    bool settle() {
        return dispatcher.runUntil(
            [this] { return dispatcher.idle() && dispatcher.drainMain() == 0; });
    }

    // Entries of 1 to 4 processes each; all checked.
    static std::vector<MenuAppPtr> entries(int count) {
        std::vector<MenuAppPtr> apps;
        apps.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            apps.push_back(menuEntry(QStringLiteral("App%1").arg(i), true, MenuAppPolicy::standard,
                                     1 + i % 4, 1000 + 10 * i));
        }
        return apps;
    }

    test::LogCapture capture;
    test::ThreadedDispatcher dispatcher{6};
    NotificationBus bus;
    test::DefaultBusScope busScope;
    test::FakeApplicationDelegate application;
};

}  // namespace

TEST_F(MenuQuitConcurrency, EveryRunEndsWithExactlyOneNotification) {
    constexpr int kRuns = 40;
    constexpr int kEntries = 24;
    for (int run = 0; run < kRuns; ++run) {
        MenuQuitRun::start(dispatcher, entries(kEntries), run % 2 == 1, false);
    }
    ASSERT_TRUE(settle());
    EXPECT_EQ(application.notifications.size(), static_cast<std::size_t>(kRuns));
    EXPECT_EQ(capture.matching(" of 24").size(), static_cast<std::size_t>(kRuns * kEntries))
        << "one progress line per entry, however many processes it has";
    EXPECT_EQ(capture.matching("quit app 24 of 24").size(), static_cast<std::size_t>(kRuns));
}

TEST_F(MenuQuitConcurrency, ARefusalAnywhereMeansNoNotification) {
    for (int run = 0; run < 20; ++run) {
        std::vector<MenuAppPtr> apps = entries(12);
        // A different process refuses in each run, sometimes one of a group.
        const std::size_t entry = static_cast<std::size_t>(run % 12);
        fakeProcess(apps[entry], apps[entry]->apps.size() - 1).terminateAnswer = false;
        MenuQuitRun::start(dispatcher, apps, false, true);
    }
    ASSERT_TRUE(settle());
    EXPECT_TRUE(application.notifications.empty());
    EXPECT_EQ(capture.matching("quit app 12 of 12").size(), 0u);
    EXPECT_EQ(capture.matching("quit app 11 of 12").size(), 20u);
}

TEST_F(MenuQuitConcurrency, RowQuitsOfGroupsAnnounceOnceAndTheirWatchesEnd) {
    std::vector<MenuAppPtr> apps;
    std::vector<std::shared_ptr<std::atomic<int>>> counts;
    for (int i = 0; i < 16; ++i) {
        apps.push_back(menuEntry(QStringLiteral("Group%1").arg(i), true, MenuAppPolicy::standard, 4,
                                 5000 + 10 * i));
        counts.push_back(std::make_shared<std::atomic<int>>(0));
        // Half of them end on the request, so their watches stop early.
        for (const RunningApplicationPtr& process : apps.back()->apps) {
            static_cast<test::FakeRunningApplication&>(*process).endsOnRequest = i % 2 == 0;
        }
    }
    for (std::size_t i = 0; i < apps.size(); ++i) {
        MenuCellQuit::start(dispatcher, apps[i], i % 3 == 0, counts[i]);
    }
    ASSERT_TRUE(settle());
    EXPECT_EQ(application.notifications.size(), apps.size());
    for (std::size_t i = 0; i < apps.size(); ++i) {
        // Four processes share one count: each chain ends at its first look after the count
        // passed 9, and at most one look per chain is under way when it does.
        EXPECT_LE(counts[i]->load(), 10 + 2 * 4) << apps[i]->name.toStdString();
        if (i % 2 == 1) {
            EXPECT_GE(counts[i]->load(), 10) << "a process that stays is watched to the end";
        }
    }
    EXPECT_EQ(capture.matching("is terminated: true").size(), 8u * 4u)
        << "each ended process is seen once";
}
