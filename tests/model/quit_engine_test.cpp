#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "fakes/FakeRunningApplication.h"
#include "model/QuitEngine.h"
#include "support/LogCapture.h"

using namespace klosia;
using test::FakeRunningApplication;

namespace {

struct Answer {
    int calls = 0;
    bool flag = false;
    RunningApplicationPtr app;
    std::thread::id thread;
};

QuitEngine::Completion record(Answer& answer) {
    return [&answer](bool flag, const RunningApplicationPtr& app) {
        ++answer.calls;
        answer.flag = flag;
        answer.app = app;
        answer.thread = std::this_thread::get_id();
    };
}

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace

TEST(QuitEngineTest, EachOperationSendsItsRequestLogsAndCompletesOnce) {
    test::LogCapture capture;
    const auto app =
        FakeRunningApplication::make(QStringLiteral("Kate"), QStringLiteral("org.kde.kate"));
    Answer answer;
    QuitEngine::terminate(app, record(answer));
    EXPECT_EQ(answer.calls, 1);
    EXPECT_TRUE(answer.flag);
    EXPECT_EQ(answer.app, app) << "the very handle passed in";
    EXPECT_EQ(app->terminateCalls, 1);
    EXPECT_EQ(app->forceTerminateCalls, 0);

    app->forceTerminateAnswer = false;
    Answer forced;
    QuitEngine::forceTerminate(app, record(forced));
    EXPECT_EQ(forced.calls, 1);
    EXPECT_FALSE(forced.flag);
    EXPECT_EQ(app->terminateCalls, 1);
    EXPECT_EQ(app->forceTerminateCalls, 1);

    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(endsWith(lines[0], "] app: org.kde.kate did terminate [true]")) << lines[0];
    EXPECT_NE(lines[0].find("[function: terminate()]"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[0].rfind(std::string(Vezizur::mark(VezizurLevel::info)), 0), 0u);
    EXPECT_TRUE(endsWith(lines[1], "] app: org.kde.kate did force terminate [false]")) << lines[1];
    EXPECT_NE(lines[1].find("[function: forceTerminate()]"), std::string::npos) << lines[1];

    // The engine keeps nothing: the only copies of the handle are ours and the two the
    // completions were given, so nothing is left that could call back when the process ends.
    EXPECT_EQ(app.use_count(), 3);
    answer.app.reset();
    forced.app.reset();
    EXPECT_EQ(app.use_count(), 1);
}

TEST(QuitEngineTest, RefusalsAndMissingIdentifiersStillCompleteOnce) {
    test::LogCapture capture;
    const auto nameless = FakeRunningApplication::make(QStringLiteral("Tool"), QString());
    nameless->terminateAnswer = false;
    Answer refused;
    QuitEngine::terminate(nameless, record(refused));
    EXPECT_EQ(refused.calls, 1);
    EXPECT_FALSE(refused.flag);

    const auto ended =
        FakeRunningApplication::make(QStringLiteral("Gone"), QStringLiteral("org.example.gone"));
    ended->terminated = true;
    Answer late;
    QuitEngine::forceTerminate(ended, record(late));
    EXPECT_EQ(late.calls, 1);
    EXPECT_FALSE(late.flag);

    Answer none;
    QuitEngine::terminate(nullptr, record(none));
    EXPECT_EQ(none.calls, 1);
    EXPECT_FALSE(none.flag);
    QuitEngine::terminate(ended, nullptr);  // no receiver: still logged, nothing called

    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_TRUE(endsWith(lines[0], "] app:  did terminate [false]")) << lines[0];
    EXPECT_TRUE(endsWith(lines[1], "] app: org.example.gone did force terminate [false]"));
    EXPECT_TRUE(endsWith(lines[2], "] app:  did terminate [false]"));
}

TEST(QuitEngineTest, CompletesOnTheCallingThreadFromManyThreadsAtOnce) {
    const auto app =
        FakeRunningApplication::make(QStringLiteral("Kate"), QStringLiteral("org.kde.kate"));
    // Three grouped processes: three independent calls, three completions.
    std::vector<RunningApplicationPtr> processes = {
        app, FakeRunningApplication::make(QStringLiteral("Kate"), QStringLiteral("org.kde.kate")),
        FakeRunningApplication::make(QStringLiteral("Kate"), QStringLiteral("org.kde.kate"))};
    constexpr int kThreads = 6;
    constexpr int kRounds = 40;
    std::atomic<int> completions{0};
    std::atomic<int> wrongThread{0};
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const auto self = std::this_thread::get_id();
            for (int round = 0; round < kRounds; ++round) {
                for (const auto& process : processes) {
                    const auto done = [&](bool, const RunningApplicationPtr&) {
                        ++completions;
                        if (std::this_thread::get_id() != self) {
                            ++wrongThread;
                        }
                    };
                    if ((t + round) % 2 == 0) {
                        QuitEngine::terminate(process, done);
                    } else {
                        QuitEngine::forceTerminate(process, done);
                    }
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(completions, kThreads * kRounds * 3);
    EXPECT_EQ(wrongThread, 0);
    EXPECT_EQ(app->terminateCalls + app->forceTerminateCalls, kThreads * kRounds);
}
