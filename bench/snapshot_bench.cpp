// Times one listing of the running applications (every window read, grouped into processes and
// identified, icons left out) against the baseline `wmctrl -lp` listing the same windows, with
// 200 top-level windows on the desktop. Runs inside the virtual desktop: started without DISPLAY
// it starts itself again through tests/session/run-session.sh.
//
// Ours is timed in this process (wall clock and CPU of the call); wmctrl is spawned and waited
// for, its CPU read from wait4's resource usage. Both wall times include the X server's work.
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSession.h"
#include "BenchStats.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/XcbConnection.h"

namespace {

constexpr std::size_t kClients = 10;
constexpr std::size_t kWindowsPerClient = 20;
constexpr int kRuns = 15;
constexpr double kGoal = 0.5;

using Clock = std::chrono::steady_clock;

using klosia::bench::cpuSeconds;
using klosia::bench::median;
using klosia::bench::selfCpu;

}  // namespace

int main(int argc, char** argv) {
    (void)argc;
    klosia::bench::enterSession(argv, "snapshot_bench");
    QString error;
    const std::shared_ptr<klosia::XcbConnection> connection = klosia::XcbConnection::open(&error);
    if (!connection) {
        std::fprintf(stderr, "snapshot_bench: %s\n", qPrintable(error));
        return 1;
    }

    klosia::bench::Fixtures fixtures;
    std::size_t total = 0;
    if (!fixtures.start(kClients, kWindowsPerClient, *connection, &total)) {
        std::fprintf(stderr, "snapshot_bench: the fixtures' %zu windows did not all appear\n",
                     kClients * kWindowsPerClient);
        return 1;
    }
    const std::size_t windows = kClients * kWindowsPerClient;

    // Cold: a new workspace (desktop entries read) and its first listing.
    const auto coldStart = Clock::now();
    const double coldCpuStart = selfCpu();
    std::unique_ptr<klosia::Workspace> workspace = klosia::createX11Workspace(&error);
    if (!workspace) {
        std::fprintf(stderr, "snapshot_bench: %s\n", qPrintable(error));
        return 1;
    }
    std::size_t listed = workspace->runningApplications().size();
    const double coldWall = std::chrono::duration<double>(Clock::now() - coldStart).count();
    const double coldCpu = selfCpu() - coldCpuStart;

    std::vector<double> ourWall;
    std::vector<double> ourCpu;
    std::vector<double> baseWall;
    std::vector<double> baseCpu;
    std::size_t identified = 0;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = Clock::now();
        const double cpuStart = selfCpu();
        const std::vector<klosia::RunningApplicationPtr> apps = workspace->runningApplications();
        identified = 0;
        for (const klosia::RunningApplicationPtr& app : apps) {
            identified += app->bundleIdentifier().isEmpty() ? 0 : 1;
        }
        ourCpu.push_back(selfCpu() - cpuStart);
        ourWall.push_back(std::chrono::duration<double>(Clock::now() - start).count());
        listed = apps.size();

        const auto baseStart = Clock::now();
        const pid_t pid = klosia::bench::spawn({"wmctrl", "-lp"}, true);
        int status = 0;
        rusage usage{};
        if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "snapshot_bench: wmctrl -lp failed\n");
            return 1;
        }
        baseWall.push_back(std::chrono::duration<double>(Clock::now() - baseStart).count());
        baseCpu.push_back(cpuSeconds(usage));
    }

    const double wall = median(ourWall);
    const double cpu = median(ourCpu);
    const double bWall = median(baseWall);
    const double bCpu = median(baseCpu);
    std::printf(
        "snapshot_bench: %zu client windows (%zu ours), %zu applications listed, %zu with "
        "an identity; medians of %d runs\n",
        total, windows, listed, identified, kRuns);
    std::printf("  cold start (workspace + first listing): %.2f ms wall, %.2f ms CPU\n",
                coldWall * 1e3, coldCpu * 1e3);
    std::printf("  klosia listing:   %8.2f ms wall  %8.2f ms CPU\n", wall * 1e3, cpu * 1e3);
    std::printf("  wmctrl -lp:       %8.2f ms wall  %8.2f ms CPU\n", bWall * 1e3, bCpu * 1e3);
    const double wallRatio = wall / bWall;
    const double cpuRatio = bCpu > 0 ? cpu / bCpu : 0;
    std::printf("  ratio klosia/wmctrl: wall %.3f, CPU %.3f (goal <= %.1f): %s\n", wallRatio,
                cpuRatio, kGoal, wallRatio <= kGoal && cpuRatio <= kGoal ? "met" : "NOT met");
    return 0;
}
