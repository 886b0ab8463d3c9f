#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

#include "core/Decimal.h"
#include "core/NotificationBus.h"
#include "core/QtDispatcher.h"
#include "fakes/ManualDispatcher.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

using namespace klosia;

namespace {

class Payload final : public NotificationObject {
public:
    explicit Payload(std::string text) : text_(std::move(text)) {}
    std::string description() const override { return text_; }

private:
    std::string text_;
};

}  // namespace

TEST(BusLog, NotifyAndObserveWriteTheirExactForms) {
    test::LogCapture capture;
    capture.instance().print = VezizurPrint::message;
    test::ManualDispatcher dispatcher;
    NotificationBus bus(dispatcher);
    QObject owner;
    const std::source_location here = std::source_location::current();
    const std::string where =
        ", fileID: Klosia/bus_test.cpp, function: TestBody(), line: " + std::to_string(here.line());

    bus.observe(
        &owner, [](const Notification&) {}, QStringLiteral("A"), nullptr, here);
    const Payload payload("P");
    bus.observe(
        &owner, [](const Notification&) {}, QStringLiteral("A"), &payload, here);
    bus.notify(QStringLiteral("A"), nullptr, 0, here);
    bus.notify(QStringLiteral("A"), std::make_shared<Payload>("[1, 2]"), 1.5, here);

    const auto lines = capture.matching("observe: ");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].ends_with(" observe: A" + where)) << lines[0];
    EXPECT_TRUE(lines[1].ends_with(" observe: A, object: P" + where)) << lines[1];
    const auto posts = capture.matching("notify: ");
    ASSERT_EQ(posts.size(), 2u);
    EXPECT_TRUE(posts[0].ends_with(" notify: A, after: 0.0" + where)) << posts[0];
    // The form with an object has a space before the comma that introduces the position.
    EXPECT_TRUE(posts[1].ends_with(" notify: A, object: [1, 2], after: 1.5 " + where)) << posts[1];
}

TEST(BusLog, DelaysAreShortestRoundTripDecimals) {
    EXPECT_EQ(shortestDecimal(0.0), "0.0");
    EXPECT_EQ(shortestDecimal(1.0), "1.0");
    EXPECT_EQ(shortestDecimal(0.1), "0.1");
    EXPECT_EQ(shortestDecimal(0.25), "0.25");
    EXPECT_EQ(shortestDecimal(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(shortestDecimal(0.00001), "1e-05");
    EXPECT_EQ(shortestDecimal(3.5f), "3.5");
    EXPECT_EQ(shortestDecimal(0.1f), "0.1");
}

TEST(BusDelivery, PostsArriveLaterInOrderWithTheirObject) {
    test::ManualDispatcher dispatcher;
    NotificationBus bus(dispatcher);
    QObject owner;
    std::vector<std::string> seen;
    bus.observe(
        &owner,
        [&](const Notification& n) {
            seen.push_back(n.name.toStdString() + (n.object ? "=" + n.object->description() : ""));
        },
        QStringLiteral("first"));
    bus.observe(
        &owner, [&](const Notification& n) { seen.push_back(n.name.toStdString()); },
        QStringLiteral("second"));

    bus.notify(QStringLiteral("second"));
    bus.notify(QStringLiteral("first"), std::make_shared<Payload>("x"));
    bus.notify(QStringLiteral("unobserved"));
    EXPECT_TRUE(seen.empty()) << "observers must not run inside the caller";

    dispatcher.runUntilIdle();
    EXPECT_EQ(seen, (std::vector<std::string>{"second", "first=x"}));
}

TEST(BusDelivery, DelayedPostsWaitForTheirTime) {
    test::ManualDispatcher dispatcher;
    NotificationBus bus(dispatcher);
    QObject owner;
    std::vector<std::string> seen;
    bus.observe(
        &owner, [&](const Notification& n) { seen.push_back(n.name.toStdString()); },
        QStringLiteral("late"));
    bus.observe(
        &owner, [&](const Notification& n) { seen.push_back(n.name.toStdString()); },
        QStringLiteral("now"));
    bus.notify(QStringLiteral("late"), nullptr, 2.0);
    bus.notify(QStringLiteral("now"));
    dispatcher.runUntilIdle();
    EXPECT_EQ(seen, std::vector<std::string>{"now"});
    dispatcher.advance(std::chrono::milliseconds(1999));
    EXPECT_EQ(seen.size(), 1u);
    dispatcher.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(seen, (std::vector<std::string>{"now", "late"}));
}

TEST(BusDelivery, ObjectFilterAndDestroyedObservers) {
    test::ManualDispatcher dispatcher;
    NotificationBus bus(dispatcher);
    auto wanted = std::make_shared<Payload>("wanted");
    int filtered = 0;
    int unfiltered = 0;
    QObject keeper;
    bus.observe(
        &keeper, [&](const Notification&) { ++filtered; }, QStringLiteral("n"), wanted.get());
    auto doomed = std::make_unique<QObject>();
    auto* dangling = new int(0);
    bus.observe(
        doomed.get(), [&, dangling](const Notification&) { ++*dangling; }, QStringLiteral("n"));
    bus.observe(
        nullptr, [&](const Notification&) { ++unfiltered; }, QStringLiteral("n"));

    bus.notify(QStringLiteral("n"), wanted);
    bus.notify(QStringLiteral("n"), std::make_shared<Payload>("other"));
    // Destroyed after the posts were queued but before delivery: it must not be called.
    doomed.reset();
    delete dangling;
    dispatcher.runUntilIdle();
    EXPECT_EQ(filtered, 1);
    EXPECT_EQ(unfiltered, 2);
}

TEST(BusDelivery, BackgroundPostsAreDeliveredOnTheMainThreadInOrder) {
    QtDispatcher dispatcher;
    NotificationBus bus(dispatcher);
    QObject owner;
    std::vector<int> order;
    std::atomic<bool> offMain{false};
    bus.observe(
        &owner,
        [&](const Notification& n) {
            if (QThread::currentThread() != QCoreApplication::instance()->thread()) {
                offMain = true;
            }
            order.push_back(n.name.toInt());
        },
        QStringLiteral("1"));
    bus.observe(
        &owner, [&](const Notification& n) { order.push_back(n.name.toInt()); },
        QStringLiteral("2"));

    std::thread worker([&] {
        bus.notify(QStringLiteral("1"));
        bus.notify(QStringLiteral("2"));
    });
    worker.join();
    bus.notify(QStringLiteral("1"));
    ASSERT_TRUE(test::waitUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 1}));
    EXPECT_FALSE(offMain.load());
}
