#include <gtest/gtest.h>
#include <unistd.h>

#include <QByteArray>
#include <QList>

#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ProcessTestChild.h"
#include "platform/linux/ProcProcessStatus.h"
#include "platform/linux/ProcessInfo.h"

namespace klosia {
namespace {

using namespace std::chrono_literals;
using test::orDefault;
using test::TestChild;

// Reads a listing back, checking every line against the format ps uses; pid → load.
std::map<pid_t, double> parseListing(const QByteArray& listing) {
    std::map<pid_t, double> loads;
    const QList<QByteArray> lines = listing.split('\n');
    EXPECT_GE(lines.size(), 3);
    EXPECT_EQ(lines.front().toStdString(), "  PID %CPU");
    EXPECT_TRUE(lines.back().isEmpty());  // ends with a line feed
    pid_t last = 0;
    for (qsizetype i = 1; i + 1 < lines.size(); ++i) {
        const std::string line = lines[i].toStdString();
        int pid = 0;
        double load = -1.0;
        int consumed = 0;
        EXPECT_EQ(std::sscanf(line.c_str(), "%d %lf%n", &pid, &load, &consumed), 2) << line;
        EXPECT_EQ(static_cast<std::size_t>(consumed), line.size()) << line;
        std::array<char, 64> expected{};
        std::snprintf(expected.data(), expected.size(), "%5d %4.1f", pid, load);
        EXPECT_EQ(line, std::string(expected.data())) << "not in the format of ps";
        EXPECT_GT(pid, last) << "pids ascending";
        EXPECT_GE(load, 0.0);
        last = pid;
        loads[pid] = load;
    }
    return loads;
}

TEST(ProcProcessStatus, ListsEveryProcessInTheColumnsOfPs) {
    TestChild child({"/bin/sleep", "30"});
    ASSERT_TRUE(child.started());
    ProcProcessStatus status;
    const auto listing = status.sample();
    ASSERT_TRUE(listing.has_value());
    const auto loads = parseListing(orDefault(listing));
    EXPECT_EQ(loads.count(::getpid()), 1U);
    EXPECT_EQ(loads.count(child.pid()), 1U);
    EXPECT_EQ(loads.count(1), 1U);

    // An ended process leaves the next listing.
    child.killAndReap();
    const auto after = status.sample();
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(parseListing(orDefault(after)).count(child.pid()), 0U);
}

// Processor time the process has used so far, in clock ticks.
std::uint64_t ticksOf(pid_t pid) {
    const auto stat = ProcessInfo::stat(pid);
    return stat ? stat->utime + stat->stime : 0;
}

// Waits until the process has used `ticks` more clock ticks than it had at the call: however
// slow or busy the machine, the load between two samples around it is then not zero.
bool waitForTicks(pid_t pid, std::uint64_t ticks) {
    const std::uint64_t target = ticksOf(pid) + ticks;
    return test::waitUntil([&] { return ticksOf(pid) >= target; }, 60s);
}

TEST(ProcProcessStatus, ShowsCurrentLoadOfBusyAndIdleProcesses) {
    TestChild busy({"/bin/sh", "-c", "while :; do :; done"});
    TestChild idle({"/bin/sleep", "30"});
    ASSERT_TRUE(busy.started());
    ASSERT_TRUE(idle.started());
    ASSERT_TRUE(idle.waitForExec());

    ProcProcessStatus status;
    ASSERT_TRUE(status.sample().has_value());
    const std::uint64_t idleTicks = ticksOf(idle.pid());
    ASSERT_TRUE(waitForTicks(busy.pid(), 3));
    const auto listing = status.sample();
    ASSERT_TRUE(listing.has_value());
    const auto loads = parseListing(orDefault(listing));
    ASSERT_EQ(loads.count(busy.pid()), 1U);
    ASSERT_EQ(loads.count(idle.pid()), 1U);
    EXPECT_GT(loads.at(busy.pid()), 0.0);
    // A sleeping process used no processor time between the samples: exactly nothing.
    if (ticksOf(idle.pid()) == idleTicks) {
        EXPECT_EQ(loads.at(idle.pid()), 0.0);
    }
    EXPECT_LT(loads.at(idle.pid()), loads.at(busy.pid()));
}

TEST(ProcProcessStatus, FirstSightShowsTheAverageSinceStart) {
    TestChild busy({"/bin/sh", "-c", "while :; do :; done"});
    TestChild idle({"/bin/sleep", "30"});
    ASSERT_TRUE(busy.started());
    ASSERT_TRUE(idle.started());
    ASSERT_TRUE(waitForTicks(busy.pid(), 5));

    // A new instance has no earlier sample: the children are seen for the first time, and the
    // load is their processor time over their whole (nearly equal) lifetimes.
    ProcProcessStatus status;
    const auto listing = status.sample();
    ASSERT_TRUE(listing.has_value());
    const auto loads = parseListing(orDefault(listing));
    ASSERT_EQ(loads.count(busy.pid()), 1U);
    ASSERT_EQ(loads.count(idle.pid()), 1U);
    EXPECT_GT(loads.at(busy.pid()), 0.0);
    EXPECT_LT(loads.at(idle.pid()), loads.at(busy.pid()));
}

TEST(ProcProcessStatus, KernelThreadsStayListedBetweenTheirReads) {
    std::vector<pid_t> kernelThreads;
    for (const pid_t pid : ProcessInfo::listPids()) {
        const auto stat = ProcessInfo::stat(pid);
        if (stat && stat->kernelThread) {
            kernelThreads.push_back(pid);
        }
    }
    if (kernelThreads.empty()) {
        GTEST_SKIP() << "no kernel threads visible";
    }
    ProcProcessStatus status;
    std::vector<std::map<pid_t, double>> samples;
    for (int i = 0; i < 7; ++i) {
        const auto listing = status.sample();
        ASSERT_TRUE(listing.has_value());
        samples.push_back(parseListing(orDefault(listing)));
    }
    // Long-lived kernel threads (kthreadd is pid 2) appear in every listing, read or not.
    const pid_t first = kernelThreads.front();
    for (const auto& loads : samples) {
        EXPECT_EQ(loads.count(first), 1U);
    }
}

TEST(ProcProcessStatus, SamplesFromSeveralThreads) {
    ProcProcessStatus status;
    std::vector<std::thread> threads;
    threads.reserve(4);
    std::vector<std::vector<QByteArray>> results(4);
    for (auto& result : results) {
        threads.emplace_back([&status, &result] {
            for (int i = 0; i < 5; ++i) {
                if (auto listing = status.sample()) {
                    result.push_back(*listing);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& result : results) {
        ASSERT_EQ(result.size(), 5U);
        for (const auto& listing : result) {
            EXPECT_EQ(parseListing(listing).count(::getpid()), 1U);
        }
    }
}

}  // namespace
}  // namespace klosia
