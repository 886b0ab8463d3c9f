#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "ProcessTestChild.h"
#include "platform/linux/ProcessControl.h"
#include "platform/linux/ProcessInfo.h"
#include "support/LogCapture.h"

namespace klosia {
namespace {

using test::orDefault;
using test::TestChild;

// Every refusal is logged at error level with a reason.
void expectRefusal(const test::LogCapture& capture, const std::string& reason) {
    const auto lines = capture.matching("refused");
    ASSERT_EQ(lines.size(), 1U);
    EXPECT_NE(lines.front().find(reason), std::string::npos) << lines.front();
    EXPECT_EQ(lines.front().rfind(Vezizur::mark(VezizurLevel::error), 0), 0U) << lines.front();
}

TEST(ProcessControl, RefusesPidsThatNameNoOtherProcess) {
    test::LogCapture capture;
    // pid 1 is passed with a wrong start time too, so that nothing could reach it.
    const std::uint64_t initStart = ProcessInfo::startTime(1).value_or(0);
    EXPECT_FALSE(ProcessControl::sendSignal(1, initStart + 1, SIGTERM));
    expectRefusal(capture, "not a process that may be signalled");
    for (const pid_t pid : {0, -1, -42}) {
        capture.clear();
        EXPECT_FALSE(ProcessControl::sendSignal(pid, 0, SIGKILL));
        expectRefusal(capture, "not a process that may be signalled");
    }

    capture.clear();
    const auto self = ProcessInfo::startTime(::getpid());
    ASSERT_TRUE(self.has_value());
    EXPECT_FALSE(ProcessControl::sendSignal(::getpid(), *self, SIGTERM));
    expectRefusal(capture, "our own process");
}

TEST(ProcessControl, RefusesOtherSignalsAndStaleIdentities) {
    TestChild child({"/bin/sleep", "30"});
    ASSERT_TRUE(child.started());

    for (const int signal : {0, SIGHUP, SIGINT, SIGSTOP, SIGUSR1, -1, 1000}) {
        SCOPED_TRACE(signal);
        test::LogCapture capture;
        EXPECT_FALSE(ProcessControl::sendSignal(child.pid(), child.startTime(), signal));
        expectRefusal(capture, "only SIGTERM and SIGKILL");
    }
    {
        // The pid is right but the start time belongs to another process: a reused pid.
        test::LogCapture capture;
        EXPECT_FALSE(ProcessControl::sendSignal(child.pid(), child.startTime() + 1, SIGKILL));
        expectRefusal(capture, "another process");
    }
    EXPECT_TRUE(ProcessControl::isAlive(child.pid(), child.startTime()));
    EXPECT_NE(orDefault(ProcessInfo::stat(child.pid())).state,
              'T');  // not stopped by SIGSTOP either
}

TEST(ProcessControl, RefusesProcessesThatHaveEnded) {
    TestChild child({"/bin/sleep", "30"});
    ASSERT_TRUE(child.started());
    ::kill(child.pid(), SIGKILL);
    ASSERT_TRUE(child.waitForExitWithoutReaping());
    {
        test::LogCapture capture;
        EXPECT_FALSE(ProcessControl::sendSignal(child.pid(), child.startTime(), SIGTERM));
        expectRefusal(capture, "already exited");
    }
    ASSERT_TRUE(child.reap());
    {
        test::LogCapture capture;
        EXPECT_FALSE(ProcessControl::sendSignal(child.pid(), child.startTime(), SIGTERM));
        expectRefusal(capture, "gone");
    }
}

TEST(ProcessControl, SignalsOwnChildWithTheRightStartTime) {
    TestChild polite({"/bin/sleep", "30"});
    TestChild forced({"/bin/sleep", "30"});
    ASSERT_TRUE(polite.started());
    ASSERT_TRUE(forced.started());

    test::LogCapture capture;
    EXPECT_TRUE(ProcessControl::sendSignal(polite.pid(), polite.startTime(), SIGTERM));
    EXPECT_TRUE(ProcessControl::sendSignal(forced.pid(), forced.startTime(), SIGKILL));
    EXPECT_TRUE(capture.matching("refused").empty());
    EXPECT_EQ(capture.matching("sent SIGTERM to pid " + std::to_string(polite.pid())).size(), 1U);

    int status = 0;
    ASSERT_TRUE(polite.reap(&status));
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    ASSERT_TRUE(forced.reap(&status));
    EXPECT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
}

TEST(ProcessControl, RefusesProcessesOfOtherUsers) {
    if (::getuid() == 0) {
        // As root, make a process of another user; the test may end it itself afterwards.
        TestChild other({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                         "/bin/sleep", "30"});
        ASSERT_TRUE(other.started());
        ASSERT_TRUE(test::waitUntil([&] {
            return ProcessInfo::uid(other.pid()) == 65534U &&
                   ProcessInfo::exePath(other.pid()).endsWith(QStringLiteral("/sleep"));
        }));
        test::LogCapture capture;
        EXPECT_FALSE(ProcessControl::sendSignal(other.pid(), other.startTime(), SIGTERM));
        EXPECT_FALSE(ProcessControl::sendSignal(other.pid(), other.startTime(), SIGKILL));
        ASSERT_EQ(capture.matching("refused").size(), 2U);
        EXPECT_EQ(capture.matching("another user (uid 65534)").size(), 2U);
        EXPECT_TRUE(ProcessControl::isAlive(other.pid(), other.startTime()));
        return;
    }
    // Otherwise a process of root: the kernel would refuse a signal to it anyway.
    for (const pid_t pid : ProcessInfo::listPids()) {
        const auto stat = ProcessInfo::stat(pid);
        if (pid <= 1 || !stat || ProcessInfo::uid(pid) != 0U || stat->state == 'Z') {
            continue;
        }
        test::LogCapture capture;
        EXPECT_FALSE(ProcessControl::sendSignal(pid, stat->startTime, SIGTERM));
        EXPECT_EQ(capture.matching("another user").size(), 1U);
        return;
    }
    GTEST_SKIP() << "no process of another user to try";
}

// The real /proc, except for the user ids, which the test sets.
class UidsReader final : public ProcessReader {
public:
    std::optional<ProcStat> stat(pid_t pid) const override { return ProcessInfo::stat(pid); }
    std::optional<ProcessUids> uids(pid_t /*pid*/) const override { return ids; }
    std::optional<ProcessUids> ids;
};

TEST(ProcessControl, RefusesSetuidProcessesOfTheUser) {
    TestChild child({"/bin/sleep", "30"});
    ASSERT_TRUE(child.started());
    const uid_t me = ::getuid();
    const uid_t other = me == 0 ? 65534 : 0;
    UidsReader reader;
    struct Case {
        ProcessUids ids;
        const char* reason;
    };
    // sudo and passwd run with the user's real uid and root's effective one; a program that
    // dropped its rights only for a while keeps the saved one.
    const Case cases[] = {
        {{me, other, other}, "another user's rights (effective uid"},
        {{me, other, me}, "another user's rights (effective uid"},
        {{me, me, other}, "another user's rights"},
        {{other, me, me}, "another user (uid"},
    };
    for (const Case& refused : cases) {
        SCOPED_TRACE(refused.reason);
        reader.ids = refused.ids;
        for (const int signal : {SIGTERM, SIGKILL}) {
            test::LogCapture capture;
            EXPECT_FALSE(
                ProcessControl::sendSignal(child.pid(), child.startTime(), signal, reader));
            expectRefusal(capture, refused.reason);
        }
    }
    reader.ids.reset();
    {
        test::LogCapture capture;
        EXPECT_FALSE(ProcessControl::sendSignal(child.pid(), child.startTime(), SIGTERM, reader));
        expectRefusal(capture, "cannot be read");
    }
    EXPECT_TRUE(ProcessControl::isAlive(child.pid(), child.startTime()));

    // All three ours: the signal goes out.
    reader.ids = ProcessUids{me, me, me};
    EXPECT_TRUE(ProcessControl::sendSignal(child.pid(), child.startTime(), SIGKILL, reader));
    int status = 0;
    ASSERT_TRUE(child.reap(&status));
    EXPECT_TRUE(WIFSIGNALED(status));
}

TEST(ProcessControl, ZombieCountsAsEnded) {
    TestChild child({"/bin/sleep", "30"});
    ASSERT_TRUE(child.started());
    EXPECT_TRUE(ProcessControl::isAlive(child.pid(), child.startTime()));
    EXPECT_FALSE(ProcessControl::isAlive(child.pid(), child.startTime() + 1));

    ::kill(child.pid(), SIGKILL);
    ASSERT_TRUE(child.waitForExitWithoutReaping());
    // Why kill(pid, 0) is no test of life: it still succeeds on the zombie.
    EXPECT_EQ(::kill(child.pid(), 0), 0);
    EXPECT_FALSE(ProcessControl::isAlive(child.pid(), child.startTime()));

    ASSERT_TRUE(child.reap());
    EXPECT_FALSE(ProcessControl::isAlive(child.pid(), child.startTime()));
}

}  // namespace
}  // namespace klosia
