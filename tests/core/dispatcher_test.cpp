#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <mutex>

#include "core/QtDispatcher.h"
#include "fakes/ManualDispatcher.h"
#include "support/Wait.h"

using namespace klosia;

TEST(QtDispatcherTest, MainWorkRunsLaterOnTheMainThreadAndDelaysKeepTheirOrder) {
    QtDispatcher dispatcher;
    std::vector<std::string> order;
    dispatcher.mainAfter(Dispatcher::Delay(0.05), [&] { order.emplace_back("late"); });
    dispatcher.main([&] { order.emplace_back("first"); });
    dispatcher.mainAfter(Dispatcher::Delay(0), [&] { order.emplace_back("second"); });
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(dispatcher.isMainThread());
    ASSERT_TRUE(test::waitUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<std::string>{"first", "second", "late"}));
}

TEST(QtDispatcherTest, BackgroundWorkRunsOffTheMainThreadAndHopsBack) {
    QtDispatcher dispatcher;
    std::atomic<bool> ranInBackground{false};
    bool backOnMain = false;
    dispatcher.background([&] {
        ranInBackground = !dispatcher.isMainThread();
        dispatcher.main([&] { backOnMain = dispatcher.isMainThread(); });
    });
    ASSERT_TRUE(test::waitUntil([&] { return backOnMain; }));
    EXPECT_TRUE(ranInBackground.load());

    std::atomic<int> delayed{0};
    dispatcher.backgroundAfter(Dispatcher::Delay(0.02), [&] { delayed = 1; });
    ASSERT_TRUE(test::waitUntil([&] { return delayed.load() == 1; }));
}

TEST(ManualDispatcherTest, RunsDueWorkInTimeThenPostOrder) {
    test::ManualDispatcher dispatcher;
    std::vector<int> order;
    dispatcher.mainAfter(Dispatcher::Delay(1), [&] { order.push_back(3); });
    dispatcher.main([&] {
        order.push_back(1);
        dispatcher.main([&] { order.push_back(2); });
    });
    dispatcher.background([&] { order.push_back(10); });
    EXPECT_EQ(dispatcher.runUntilIdle(), 3);
    EXPECT_EQ(order, (std::vector<int>{1, 10, 2}));
    const auto before = dispatcher.now();
    dispatcher.advance(Dispatcher::Delay(5));
    EXPECT_EQ(order.back(), 3);
    EXPECT_EQ(dispatcher.now() - before, std::chrono::seconds(5));
}
