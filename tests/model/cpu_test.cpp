#include <gtest/gtest.h>
#include <QObject>

#include <functional>
#include <optional>

#include "core/NotificationBus.h"
#include "fakes/ManualDispatcher.h"
#include "model/CPU.h"
#include "model/CPUSample.h"
#include "platform/ProcessStatus.h"
#include "support/LogCapture.h"

using namespace klosia;

namespace {

// Answers the listing the test sets; can run a hook while "the command runs".
class FakeProcessStatus final : public ProcessStatus {
public:
    std::optional<QByteArray> sample() override {
        ++samples;
        if (whileRunning) {
            auto hook = std::move(whileRunning);
            hook();
        }
        return output;
    }
    std::optional<QByteArray> output = QByteArray("  PID %CPU\n");
    std::function<void()> whileRunning;
    int samples = 0;
};

std::vector<CPUEntry> parse(const char* text) {
    return CPU::parse(QByteArray(text));
}

}  // namespace

TEST(CPUParseTest, ReadsTwoColumnLinesAfterTheHeader) {
    EXPECT_TRUE(parse("").empty());
    EXPECT_TRUE(parse("  PID %CPU").empty());
    EXPECT_TRUE(parse("  PID %CPU\n").empty());
    EXPECT_TRUE(parse("1 2.0").empty()) << "the first line is always the header";

    EXPECT_EQ(parse("  PID %CPU\n   412   3.5\n"), (std::vector<CPUEntry>{{412, 3.5F}}));
    EXPECT_EQ(parse("1 2.0\n3 4.0\n    1  0.0\n 2 150\n"),
              (std::vector<CPUEntry>{{3, 4.0F}, {1, 0.0F}, {2, 150.0F}}))
        << "output order, header skipped even when it looks like data, no final newline needed";
    EXPECT_EQ(parse("h\n-5 1.5\n+7 +2.5\n8 1e1\n9 .5\n10 -0.5"),
              (std::vector<CPUEntry>{{-5, 1.5F}, {7, 2.5F}, {8, 10.0F}, {9, 0.5F}, {10, -0.5F}}));
}

TEST(CPUParseTest, SkipsLinesThatAreNotExactlyTwoWholeNumbers) {
    const char* skipped[] = {
        "412",        // one piece
        "412 3.5 x",  // three pieces
        "abc 3.5",    // non-numeric pid
        "412 abc",    // non-numeric load
        "412x 3.5",   // trailing garbage
        "412 3.5x",
        "412 3,5",    // decimal comma: C syntax only
        "412.0 3.5",  // pid is an integer
        "412\t3.5",   // only spaces separate
        "412 3.5\r",  // a carriage return is part of the piece
        "0x1c 3.5",
        "412 0x1p3",  // decimal only
        "412 nan",    // no load a row could show
        "412 inf",
        "412 -infinity",
        "+-5 1.0",  // one sign at most
        "5 ++1.0",
        "+ 1.0",
        "99999999999999999999 1.0",  // out of range
        "5 1e999",
    };
    for (const char* line : skipped) {
        const QByteArray text = QByteArray("  PID %CPU\n") + line + "\n7 1.0\n";
        EXPECT_EQ(CPU::parse(text), (std::vector<CPUEntry>{{7, 1.0F}})) << line;
    }
}

TEST(CPUParseTest, OutputThatIsNotUtf8GivesNoEntries) {
    EXPECT_TRUE(CPU::parse(QByteArray("  PID %CPU\n1 2.0\n\xff\n")).empty());
    EXPECT_TRUE(CPU::parse(QByteArray("  PID %CPU\n1 2.0\n\xc3")).empty()) << "cut sequence";
    EXPECT_EQ(CPU::parse(QByteArray("PID \xc3\xa9\n1 2.0\n")), (std::vector<CPUEntry>{{1, 2.0F}}));
}

TEST(CPUParseTest, Descriptions) {
    EXPECT_EQ((CPUEntry{412, 3.5F}).description(), "pid: 412, cpu: 3.5");
    EXPECT_EQ((CPUEntry{1, 0.0F}).description(), "pid: 1, cpu: 0.0");
    EXPECT_EQ((CPUEntry{-3, 0.1F}).description(), "pid: -3, cpu: 0.1");
    EXPECT_EQ(CPUSample({{1, 0.0F}, {2, 3.5F}}).description(),
              "[pid: 1, cpu: 0.0, pid: 2, cpu: 3.5]");
    EXPECT_EQ(CPUSample({}).description(), "[]");
}

TEST(CPUSampleTest, CompletionReceivesTheParsedListOnce) {
    test::LogCapture capture;
    FakeProcessStatus source;
    CPU cpu(&source);
    source.output = QByteArray("  PID %CPU\n  1  0.0\n  2  3.5\n");
    std::vector<std::vector<CPUEntry>> received;
    cpu.sample([&](const std::vector<CPUEntry>& entries) { received.push_back(entries); });
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (std::vector<CPUEntry>{{1, 0.0F}, {2, 3.5F}}));

    source.output = QByteArray("\xff\xfe");
    cpu.sample([&](const std::vector<CPUEntry>& entries) { received.push_back(entries); });
    ASSERT_EQ(received.size(), 2u) << "unreadable output still completes";
    EXPECT_TRUE(received[1].empty());

    source.output = std::nullopt;
    cpu.sample([&](const std::vector<CPUEntry>& entries) { received.push_back(entries); });
    EXPECT_EQ(received.size(), 2u) << "no listing at all: nothing to report";
    EXPECT_EQ(capture.matching("process status listing could not be produced").size(), 1u);

    CPU empty(nullptr);
    empty.sample([&](const std::vector<CPUEntry>& entries) { received.push_back(entries); });
    EXPECT_EQ(received.size(), 2u);
}

TEST(CPUSampleTest, LateResultGoesToTheNewestCompletion) {
    FakeProcessStatus source;
    CPU cpu(&source);
    int first = 0;
    int second = 0;
    source.output = QByteArray("  PID %CPU\n  1  0.0\n");
    // A second sample starts and ends while the first one's command is still running.
    source.whileRunning = [&] { cpu.sample([&](const std::vector<CPUEntry>&) { ++second; }); };
    cpu.sample([&](const std::vector<CPUEntry>&) { ++first; });
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 2);
    EXPECT_EQ(source.samples, 2);
}

namespace {

class CPUBroadcastTest : public ::testing::Test {
public:
    CPUBroadcastTest() : bus(dispatcher), cpu(&source) {
        NotificationBus::setDefaultCenter(&bus);
        CPU::setShared(&cpu);
        bus.observe(
            &owner,
            [this](const Notification& n) {
                onMainThread.push_back(dispatcher.isMainThread());
                samples.push_back(std::dynamic_pointer_cast<const CPUSample>(n.object));
            },
            names::cpuDidChanged);
    }
    ~CPUBroadcastTest() override {
        CPU::setShared(nullptr);
        NotificationBus::setDefaultCenter(nullptr);
    }

protected:
    test::LogCapture capture;
    test::ManualDispatcher dispatcher;
    NotificationBus bus;
    FakeProcessStatus source;
    CPU cpu;
    QObject owner;
    std::vector<bool> onMainThread;
    std::vector<std::shared_ptr<const CPUSample>> samples;
};

}  // namespace

TEST_F(CPUBroadcastTest, SampleRunsInTheBackgroundAndArrivesAsCPUDidChanged) {
    source.output = QByteArray("  PID %CPU\n  412  3.5\n");
    CPU::broadcastSample(dispatcher);
    EXPECT_EQ(source.samples, 0) << "nothing runs inside the caller";
    EXPECT_EQ(dispatcher.pendingBackground(), 1u);
    dispatcher.runUntilIdle();

    EXPECT_EQ(source.samples, 1);
    ASSERT_EQ(samples.size(), 1u);
    ASSERT_NE(samples[0], nullptr);
    EXPECT_EQ(samples[0]->entries, (std::vector<CPUEntry>{{412, 3.5F}}));
    EXPECT_EQ(onMainThread, std::vector<bool>{true});

    const auto lines = capture.matching("notify: CPUDidChanged");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("notify: CPUDidChanged, object: [pid: 412, cpu: 3.5], after: 0.0 , "
                            "fileID: Klosia/cpu_test.cpp, function: TestBody()"),
              std::string::npos)
        << "logged with the caller's position: " << lines[0];
}

TEST_F(CPUBroadcastTest, NoListingMeansNoBroadcast) {
    source.output = std::nullopt;
    CPU::broadcastSample(dispatcher);
    dispatcher.runUntilIdle();
    EXPECT_EQ(source.samples, 1);
    EXPECT_TRUE(samples.empty());

    source.output = QByteArray("\xff");
    CPU::broadcastSample(dispatcher);
    dispatcher.runUntilIdle();
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_TRUE(samples[0]->entries.empty());
}
