#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <memory>
#include <vector>

#include "ProcessTestChild.h"
#include "platform/linux/ProcessControl.h"
#include "platform/linux/ProcessWatcher.h"
#include "support/LogCapture.h"

namespace klosia {
namespace {

using namespace std::chrono_literals;
using test::runEventsFor;
using test::TestChild;
using test::waitUntil;

int openDescriptors() {
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) {
        return -1;
    }
    while (::readdir(dir) != nullptr) {
        ++count;
    }
    ::closedir(dir);
    return count;
}

TEST(ProcessWatcher, CallsBackOnceWhenAWatchedChildExits) {
    TestChild first({"/bin/sleep", "30"});
    TestChild second({"/bin/sleep", "30"});
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(second.started());

    ProcessWatcher watcher;
    int firstExits = 0;
    int secondExits = 0;
    watcher.watch(first.pid(), first.startTime(), [&] { ++firstExits; });
    watcher.watch(second.pid(), second.startTime(), [&] { ++secondExits; });
    runEventsFor(100ms);
    EXPECT_EQ(firstExits, 0);
    EXPECT_TRUE(watcher.isWatching(first.pid()));

    // Not reaped: the call comes while the child is a zombie.
    ASSERT_TRUE(ProcessControl::sendSignal(first.pid(), first.startTime(), SIGTERM));
    ASSERT_TRUE(waitUntil([&] { return firstExits > 0; }));
    runEventsFor(100ms);
    EXPECT_EQ(firstExits, 1);
    EXPECT_EQ(secondExits, 0);
    EXPECT_FALSE(watcher.isWatching(first.pid()));
    EXPECT_TRUE(watcher.isWatching(second.pid()));
    EXPECT_TRUE(ProcessControl::isAlive(second.pid(), second.startTime()));
}

TEST(ProcessWatcher, ProcessAlreadyEndedOrReplacedIsReportedLater) {
    TestChild gone({"/bin/sleep", "30"});
    TestChild zombie({"/bin/sleep", "30"});
    TestChild alive({"/bin/sleep", "30"});
    ASSERT_TRUE(gone.started());
    ASSERT_TRUE(zombie.started());
    ASSERT_TRUE(alive.started());
    gone.killAndReap();
    ::kill(zombie.pid(), SIGKILL);
    ASSERT_TRUE(zombie.waitForExitWithoutReaping());

    ProcessWatcher watcher;
    int goneExits = 0;
    int zombieExits = 0;
    int replacedExits = 0;
    watcher.watch(gone.pid(), gone.startTime(), [&] { ++goneExits; });
    watcher.watch(zombie.pid(), zombie.startTime(), [&] { ++zombieExits; });
    // A start time that does not match: the process we meant has ended, whatever runs now.
    watcher.watch(alive.pid(), alive.startTime() + 1, [&] { ++replacedExits; });
    // Never from inside watch().
    EXPECT_EQ(goneExits + zombieExits + replacedExits, 0);

    ASSERT_TRUE(waitUntil([&] { return goneExits + zombieExits + replacedExits == 3; }));
    runEventsFor(100ms);
    EXPECT_EQ(goneExits, 1);
    EXPECT_EQ(zombieExits, 1);
    EXPECT_EQ(replacedExits, 1);
    EXPECT_TRUE(ProcessControl::isAlive(alive.pid(), alive.startTime()));
}

TEST(ProcessWatcher, UnwatchAndRewatchDropTheEarlierCallback) {
    TestChild dropped({"/bin/sleep", "30"});
    TestChild replaced({"/bin/sleep", "30"});
    TestChild ended({"/bin/sleep", "30"});
    ASSERT_TRUE(dropped.started());
    ASSERT_TRUE(replaced.started());
    ASSERT_TRUE(ended.started());
    ended.killAndReap();

    ProcessWatcher watcher;
    int droppedExits = 0;
    int oldExits = 0;
    int newExits = 0;
    int endedExits = 0;
    watcher.watch(dropped.pid(), dropped.startTime(), [&] { ++droppedExits; });
    watcher.unwatch(dropped.pid());
    watcher.unwatch(::getpid());  // never watched: ignored
    watcher.watch(replaced.pid(), replaced.startTime(), [&] { ++oldExits; });
    watcher.watch(replaced.pid(), replaced.startTime(), [&] { ++newExits; });
    // The queued report of an ended process is dropped as well.
    watcher.watch(ended.pid(), ended.startTime(), [&] { ++endedExits; });
    watcher.unwatch(ended.pid());
    EXPECT_FALSE(watcher.isWatching(dropped.pid()));

    dropped.killAndReap();
    replaced.killAndReap();
    ASSERT_TRUE(waitUntil([&] { return newExits > 0; }));
    runEventsFor(100ms);
    EXPECT_EQ(droppedExits, 0);
    EXPECT_EQ(oldExits, 0);
    EXPECT_EQ(newExits, 1);
    EXPECT_EQ(endedExits, 0);
}

TEST(ProcessWatcher, CallbackMayWatchAgainAndDescriptorsAreClosed) {
    const int before = openDescriptors();
    TestChild first({"/bin/sleep", "30"});
    TestChild second({"/bin/sleep", "30"});
    ASSERT_TRUE(first.started());
    ASSERT_TRUE(second.started());
    {
        auto watcher = std::make_unique<ProcessWatcher>();
        bool secondWatched = false;
        int secondExits = 0;
        watcher->watch(first.pid(), first.startTime(), [&] {
            // Chaining from inside a callback is allowed.
            watcher->watch(second.pid(), second.startTime(), [&] { ++secondExits; });
            secondWatched = true;
        });
        EXPECT_GT(openDescriptors(), before);
        first.killAndReap();
        ASSERT_TRUE(waitUntil([&] { return secondWatched; }));
        EXPECT_TRUE(watcher->isWatching(second.pid()));
        EXPECT_EQ(secondExits, 0);
        // Destroyed with a watch still open: its descriptor is closed, nothing is called.
        watcher.reset();
        second.killAndReap();
        runEventsFor(100ms);
        EXPECT_EQ(secondExits, 0);
    }
    EXPECT_EQ(openDescriptors(), before);
}

// Lowers the descriptor limit to the lowest free descriptor, so that the next open fails with
// EMFILE, and restores it when it goes.
class OutOfDescriptors {
public:
    OutOfDescriptors() {
        ok_ = ::getrlimit(RLIMIT_NOFILE, &saved_) == 0;
        const int lowestFree = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ok_ = ok_ && lowestFree >= 0;
        if (lowestFree >= 0) {
            ::close(lowestFree);
        }
        rlimit lowered = saved_;
        lowered.rlim_cur = static_cast<rlim_t>(lowestFree);
        ok_ = ok_ && ::setrlimit(RLIMIT_NOFILE, &lowered) == 0;
    }
    ~OutOfDescriptors() { ::setrlimit(RLIMIT_NOFILE, &saved_); }
    OutOfDescriptors(const OutOfDescriptors&) = delete;
    OutOfDescriptors& operator=(const OutOfDescriptors&) = delete;

    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    bool ok_ = false;
};

TEST(ProcessWatcher, DescriptorsAreBoundedAndTheRestIsPolledByOneTimer) {
    // Watched beyond the bound, processes are polled: still reported, without a descriptor.
    const std::size_t count = ProcessWatcher::kMaxPidFds + 4;
    std::vector<std::unique_ptr<TestChild>> children;
    children.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        children.push_back(
            std::make_unique<TestChild>(std::vector<std::string>{"/bin/sleep", "30"}));
        ASSERT_TRUE(children.back()->started());
    }
    const int before = openDescriptors();
    ProcessWatcher watcher;
    std::vector<int> exits(count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        watcher.watch(children[i]->pid(), children[i]->startTime(), [&exits, i] { ++exits[i]; });
    }
    EXPECT_EQ(watcher.pidFds(), ProcessWatcher::kMaxPidFds);
    EXPECT_EQ(watcher.polled(), 4U);
    EXPECT_LE(openDescriptors(), before + static_cast<int>(ProcessWatcher::kMaxPidFds));
    // One watched through its pidfd and one polled end; both are told, once.
    TestChild& fdWatched = *children.front();
    TestChild& pollWatched = *children.back();
    ASSERT_TRUE(ProcessControl::sendSignal(fdWatched.pid(), fdWatched.startTime(), SIGTERM));
    ASSERT_TRUE(ProcessControl::sendSignal(pollWatched.pid(), pollWatched.startTime(), SIGTERM));
    ASSERT_TRUE(waitUntil([&] { return exits.front() == 1 && exits.back() == 1; }));
    runEventsFor(3 * std::chrono::milliseconds(ProcessWatcher::kPollInterval));
    EXPECT_EQ(exits.front(), 1);
    EXPECT_EQ(exits.back(), 1);
    EXPECT_EQ(std::count(exits.begin(), exits.end(), 0), static_cast<long>(count - 2));
    EXPECT_EQ(watcher.polled(), 3U);
}

TEST(ProcessWatcher, WithoutAPidfdItPollsInsteadOfReportingAnExit) {
    TestChild child({"/bin/sleep", "30"});
    ASSERT_TRUE(child.started());
    ProcessWatcher watcher;
    int exits = 0;
    test::LogCapture capture;
    {
        const OutOfDescriptors limit;
        ASSERT_TRUE(limit.ok());
        watcher.watch(child.pid(), child.startTime(), [&] { ++exits; });
    }
    EXPECT_EQ(capture.matching("polling for its exit").size(), 1U);
    // Everything already posted is delivered here: a report of "ended" would be among it.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(exits, 0);
    EXPECT_TRUE(watcher.isWatching(child.pid()));
    EXPECT_TRUE(ProcessControl::isAlive(child.pid(), child.startTime()));

    // The exit is still seen, while the child is a zombie.
    ::kill(child.pid(), SIGKILL);
    ASSERT_TRUE(child.waitForExitWithoutReaping());
    ASSERT_TRUE(waitUntil([&] { return exits > 0; }));
    EXPECT_EQ(exits, 1);
    EXPECT_FALSE(watcher.isWatching(child.pid()));
}

}  // namespace
}  // namespace klosia
