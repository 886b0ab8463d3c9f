#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <climits>
#include <random>
#include <string>

#include "ProcessTestChild.h"
#include "platform/linux/ProcessInfo.h"

namespace klosia {
namespace {

using test::orDefault;
using test::TestChild;

// A line as the kernel writes it: 52 fields, the ones we read set from the arguments.
std::string statLine(int pid, const std::string& comm, char state, int ppid, std::uint64_t utime,
                     std::uint64_t stime, std::uint64_t startTime) {
    std::string line = std::to_string(pid) + " (" + comm + ") " + state + " " +
                       std::to_string(ppid) + " 77 77 34816 -1 4194560 2270 0 0 0 " +
                       std::to_string(utime) + " " + std::to_string(stime) + " 0 0 20 0 1 0 " +
                       std::to_string(startTime) + " 9310208 1201";
    for (int field = 25; field <= 52; ++field) {
        line += " 0";
    }
    return line + "\n";
}

TEST(ProcessInfoParse, TakesFieldsAfterTheLastParenthesis) {
    const std::string names[] = {"sleep",
                                 "a) b (c",
                                 "with space",
                                 "new\nline",
                                 ")",
                                 "((",
                                 "",
                                 "x) R 5 6 7 8 9",
                                 "kworker/u8:2-events_unbound"};
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        const auto stat = ProcessInfo::parseStat(statLine(4242, name, 'S', 17, 123, 45, 987654));
        ASSERT_TRUE(stat.has_value());
        EXPECT_EQ(orDefault(stat).pid, 4242);
        EXPECT_EQ(orDefault(stat).ppid, 17);
        EXPECT_EQ(orDefault(stat).state, 'S');
        EXPECT_EQ(orDefault(stat).utime, 123U);
        EXPECT_EQ(orDefault(stat).stime, 45U);
        EXPECT_EQ(orDefault(stat).startTime, 987654U);
        EXPECT_FALSE(orDefault(stat).kernelThread);
    }

    // Captured from a real kernel thread: ppid 0 and large unsigned fields.
    const auto kernel = ProcessInfo::parseStat(
        "2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 0 0 0 20 0 1 0 25 0 0 18446744073709551615 "
        "0 0 0 0 0 0 0 2147483647 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n");
    ASSERT_TRUE(kernel.has_value());
    EXPECT_EQ(orDefault(kernel).pid, 2);
    EXPECT_EQ(orDefault(kernel).ppid, 0);
    EXPECT_EQ(orDefault(kernel).startTime, 25U);
    EXPECT_TRUE(orDefault(kernel).kernelThread);  // flags 0x208040 hold PF_KTHREAD

    // Values up to the full 64 bits.
    const auto huge = ProcessInfo::parseStat(
        statLine(7, "big", 'R', 1, 18446744073709551615ULL, 0, 18446744073709551615ULL));
    ASSERT_TRUE(huge.has_value());
    EXPECT_EQ(orDefault(huge).utime, 18446744073709551615ULL);
}

TEST(ProcessInfoParse, RejectsMalformedContent) {
    using namespace std::string_literals;
    // The shortest acceptable line: up to the start time and the separator after it. Each
    // case below breaks it in one place.
    const auto shortest = ProcessInfo::parseStat(
        "4242 (sleep) S 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5 ");
    ASSERT_TRUE(shortest.has_value());
    EXPECT_EQ(orDefault(shortest).startTime, 5U);
    const std::string cases[] = {
        "",
        "4242",
        "4242 (sleep",
        "4242 sleep) S 1",
        "abc (sleep) S 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5",
        "0 (zero) S 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5",
        "-5 (neg) S 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5",
        "4242(sleep) S 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5",
        "4242 )sleep( S 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5",
        // field 21 is the last one present
        "4242 (sleep) S 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0",
        // the start time ends the text: it may have been cut
        "4242 (sleep) S 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5",
        // state of two letters, negative ppid, non-numeric or signed or too large times
        "4242 (sleep) SS 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5",
        "4242 (sleep) S -17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5",
        "4242 (sleep) S 17 77 77 34816 -1 4194560 2270 0 0 0 x 2 0 0 20 0 1 0 5",
        "4242 (sleep) S 17 77 77 34816 -1 4194560 2270 0 0 0 -1 2 0 0 20 0 1 0 5",
        "4242 (sleep) S 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5x",
        "4242 (sleep) S 17 77 77 0 -1 4194560 2270 0 0 0 1 18446744073709551616 0 0 20 0 1 0 5",
        "99999999999 (sleep) S 17 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5",
        "4242 (sleep) S 17\0 77 77 34816 -1 4194560 2270 0 0 0 1 2 0 0 20 0 1 0 5"s,
    };
    for (const auto& text : cases) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ProcessInfo::parseStat(text).has_value());
    }
}

TEST(ProcessInfoParse, CutLinesAreRejectedUntilTheStartTime) {
    // Every cut before the end of the start time field, inside it too (where "987654" would read
    // as "98"), is rejected; every cut after it gives the same answer as the whole line.
    const std::string valid = statLine(4242, "sleep", 'S', 17, 123, 45, 987654);
    const std::size_t startEnd = valid.find(" 987654 ") + 7;
    for (std::size_t length = 0; length <= valid.size(); ++length) {
        SCOPED_TRACE(length);
        const auto stat = ProcessInfo::parseStat(std::string_view(valid).substr(0, length));
        if (length <= startEnd) {
            EXPECT_FALSE(stat.has_value());
        } else {
            EXPECT_EQ(stat.value_or(ProcStat{}).startTime, 987654U);
            EXPECT_EQ(stat.value_or(ProcStat{}).utime, 123U);
        }
    }
}

TEST(ProcessInfoParse, SurvivesRandomDamage) {
    const std::string valid = statLine(4242, "a) b (c", 'S', 17, 123, 45, 987654);
    const std::string alphabet = "0123456789 ()-\n\tSZx";
    std::mt19937 random(20240611);  // fixed seed: a failure can be replayed
    auto pick = [&](std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random);
    };
    int parsed = 0;
    for (int round = 0; round < 5000; ++round) {
        std::string text = valid;
        const std::size_t edits = 1 + pick(6);
        for (std::size_t edit = 0; edit < edits && !text.empty(); ++edit) {
            switch (pick(4)) {
                case 0:
                    text[pick(text.size())] = alphabet[pick(alphabet.size())];
                    break;
                case 1:
                    text.erase(pick(text.size()), 1 + pick(8));
                    break;
                case 2:
                    text.insert(pick(text.size()), 1, alphabet[pick(alphabet.size())]);
                    break;
                default:
                    text[pick(text.size())] = static_cast<char>(pick(256));
                    break;
            }
        }
        const auto stat = ProcessInfo::parseStat(text);
        if (stat) {
            ++parsed;
            EXPECT_GT(orDefault(stat).pid, 0) << text;
            EXPECT_GE(orDefault(stat).ppid, 0) << text;
        }
    }
    // Some damage (inside the command name, in fields not read) leaves a valid line.
    EXPECT_GT(parsed, 0);

    for (int round = 0; round < 2000; ++round) {
        std::string noise(pick(400), '\0');
        for (auto& c : noise) {
            c = static_cast<char>(pick(256));
        }
        const auto stat = ProcessInfo::parseStat(noise);
        if (stat) {
            EXPECT_GT(orDefault(stat).pid, 0);
        }
    }
}

TEST(ProcessInfoParse, UidLine) {
    const auto ids = ProcessInfo::parseUids(
        "Name:\tsudo\nUmask:\t0022\nState:\tS "
        "(sleeping)\nUid:\t1000\t0\t0\t0\nGid:\t1000\t1000\t1000\t1000\n");
    ASSERT_TRUE(ids.has_value());
    EXPECT_EQ(orDefault(ids).real, 1000U);
    EXPECT_EQ(orDefault(ids).effective, 0U);
    EXPECT_EQ(orDefault(ids).saved, 0U);
    EXPECT_FALSE(orDefault(ids).allEqual(1000));
    EXPECT_TRUE(ProcessInfo::parseUids("Uid: 7 7 7 7\n").value_or(ProcessUids{}).allEqual(7));
    for (const char* text : {"", "Name:\tx\n", "Uid:\t1000\t1000\n", "Uid:\t1000\t1000\t10",
                             "Uid:\t1000\t-1\t1000\t1000\n", "Uid:\t1000\tx\t1000\t1000\n",
                             "Gid:\t1\t1\t1\t1\nXUid:\t1\t1\t1\t1\n"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ProcessInfo::parseUids(text).has_value());
    }
    const auto self = ProcessInfo::uids(::getpid());
    ASSERT_TRUE(self.has_value());
    EXPECT_EQ(orDefault(self).real, ::getuid());
    EXPECT_EQ(orDefault(self).effective, ::geteuid());
}

TEST(ProcessInfoParse, PidNames) {
    EXPECT_EQ(ProcessInfo::parsePid("42"), 42);
    EXPECT_EQ(ProcessInfo::parsePid("2147483647"), INT_MAX);
    for (const char* text : {"", "0", "-1", "+1", " 1", "12a", "2147483648", "self"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ProcessInfo::parsePid(text).has_value());
    }
}

TEST(ProcessInfo, ReadsOwnProcess) {
    const auto self = ProcessInfo::stat(::getpid());
    ASSERT_TRUE(self.has_value());
    EXPECT_EQ(orDefault(self).pid, ::getpid());
    EXPECT_EQ(orDefault(self).ppid, ::getppid());
    EXPECT_EQ(orDefault(self).state, 'R');
    EXPECT_GT(orDefault(self).startTime, 0U);
    EXPECT_EQ(ProcessInfo::startTime(::getpid()), orDefault(self).startTime);
    EXPECT_EQ(ProcessInfo::uid(::getpid()), ::getuid());
    EXPECT_EQ(ProcessInfo::exePath(::getpid()),
              QFile::symLinkTarget(QStringLiteral("/proc/self/exe")));
    const QStringList arguments = ProcessInfo::cmdline(::getpid());
    ASSERT_FALSE(arguments.isEmpty());
    EXPECT_EQ(arguments.front(), QCoreApplication::arguments().front());

    const auto pids = ProcessInfo::listPids();
    EXPECT_TRUE(std::is_sorted(pids.begin(), pids.end()));
    EXPECT_TRUE(std::binary_search(pids.begin(), pids.end(), ::getpid()));
    EXPECT_TRUE(std::binary_search(pids.begin(), pids.end(), 1));
}

TEST(ProcessInfo, ReadsChildUntilItIsGone) {
    TestChild child({"/bin/sleep", "30"});
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.waitForExec());

    const auto stat = ProcessInfo::stat(child.pid());
    ASSERT_TRUE(stat.has_value());
    EXPECT_EQ(orDefault(stat).ppid, ::getpid());
    EXPECT_EQ(orDefault(stat).startTime, child.startTime());
    EXPECT_GE(orDefault(stat).startTime, ProcessInfo::startTime(::getpid()).value_or(0));
    EXPECT_EQ(ProcessInfo::uid(child.pid()), ::getuid());
    EXPECT_EQ(ProcessInfo::exePath(child.pid()),
              QFileInfo(QStringLiteral("/bin/sleep")).canonicalFilePath());
    EXPECT_EQ(ProcessInfo::cmdline(child.pid()),
              QStringList({QStringLiteral("/bin/sleep"), QStringLiteral("30")}));
    const auto pids = ProcessInfo::listPids();
    EXPECT_TRUE(std::binary_search(pids.begin(), pids.end(), child.pid()));

    // Exited but not reaped: the stat remains, the rest is gone.
    ::kill(child.pid(), SIGKILL);
    ASSERT_TRUE(child.waitForExitWithoutReaping());
    const auto zombie = ProcessInfo::stat(child.pid());
    ASSERT_TRUE(zombie.has_value());
    EXPECT_EQ(orDefault(zombie).state, 'Z');
    EXPECT_EQ(orDefault(zombie).startTime, child.startTime());
    EXPECT_TRUE(ProcessInfo::cmdline(child.pid()).isEmpty());
    EXPECT_TRUE(ProcessInfo::exePath(child.pid()).isEmpty());

    ASSERT_TRUE(child.reap());
    EXPECT_FALSE(ProcessInfo::stat(child.pid()).has_value());
    EXPECT_FALSE(ProcessInfo::startTime(child.pid()).has_value());
    EXPECT_FALSE(ProcessInfo::uid(child.pid()).has_value());
    EXPECT_TRUE(ProcessInfo::exePath(child.pid()).isEmpty());
    EXPECT_TRUE(ProcessInfo::cmdline(child.pid()).isEmpty());
}

TEST(ProcessInfo, LifeTellsRunningFromEnded) {
    // Every state the kernel uses for an exited process counts as ended, whoever asks.
    for (const char state : {'Z', 'X', 'x'}) {
        EXPECT_TRUE(
            orDefault(ProcessInfo::parseStat(statLine(5, "p", state, 1, 0, 0, 9))).hasEnded())
            << state;
    }
    for (const char state : {'R', 'S', 'D', 'T', 't', 'I', 'P'}) {
        EXPECT_FALSE(
            orDefault(ProcessInfo::parseStat(statLine(5, "p", state, 1, 0, 0, 9))).hasEnded())
            << state;
    }

    TestChild child({"/bin/sleep", "30"});
    ASSERT_TRUE(child.started());
    EXPECT_EQ(ProcessInfo::life(child.pid(), child.startTime()), ProcessLife::running);
    EXPECT_EQ(ProcessInfo::life(child.pid(), child.startTime() + 1), ProcessLife::ended);
    ::kill(child.pid(), SIGKILL);
    ASSERT_TRUE(child.waitForExitWithoutReaping());
    EXPECT_EQ(ProcessInfo::life(child.pid(), child.startTime()), ProcessLife::ended);
    ASSERT_TRUE(child.reap());
    EXPECT_EQ(ProcessInfo::life(child.pid(), child.startTime()), ProcessLife::ended);
    EXPECT_EQ(ProcessInfo::life(0, 0), ProcessLife::ended);
}

TEST(ProcessInfo, AnswersNothingForImpossiblePids) {
    for (const pid_t pid : {0, -1, INT_MIN, INT_MAX}) {
        SCOPED_TRACE(pid);
        EXPECT_FALSE(ProcessInfo::stat(pid).has_value());
        EXPECT_FALSE(ProcessInfo::uid(pid).has_value());
        EXPECT_TRUE(ProcessInfo::exePath(pid).isEmpty());
        EXPECT_TRUE(ProcessInfo::cmdline(pid).isEmpty());
    }
}

TEST(ProcessInfo, KernelThreadHasNoProgramOrArguments) {
    // kthreadd is pid 2 unless we run in a pid namespace.
    QFile file(QStringLiteral("/proc/2/stat"));
    if (!file.open(QIODevice::ReadOnly) || !file.readAll().contains("(kthreadd)")) {
        GTEST_SKIP() << "no kernel threads visible";
    }
    const auto kthreadd = ProcessInfo::stat(2);
    ASSERT_TRUE(kthreadd.has_value());
    EXPECT_EQ(orDefault(kthreadd).ppid, 0);
    EXPECT_TRUE(orDefault(kthreadd).kernelThread);
    EXPECT_FALSE(orDefault(ProcessInfo::stat(::getpid())).kernelThread);
    EXPECT_TRUE(ProcessInfo::cmdline(2).isEmpty());
    EXPECT_TRUE(ProcessInfo::exePath(2).isEmpty());
}

}  // namespace
}  // namespace klosia
