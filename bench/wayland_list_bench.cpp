// Times a listing of the running applications on sway, with 100 toplevel windows of 10 Qt
// clients (each window read, its pid taken from sway's IPC, grouped and identified), against the
// baseline `swaymsg -t get_tree` in the same run. Runs inside the headless Wayland session:
// started without WAYLAND_DISPLAY it starts itself again through
// tests/session/run-wayland-session.sh.
//
// Ours is timed in this process (wall clock and CPU of the call); swaymsg is spawned and waited
// for, its CPU read from wait4's resource usage. Both wall times include sway's work.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "BenchSession.h"
#include "BenchStats.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/wayland/WaylandWorkspace.h"

namespace {

constexpr std::size_t kClients = 10;
constexpr std::size_t kWindowsPerClient = 10;
constexpr int kRuns = 15;
constexpr double kGoal = 0.5;

using Clock = std::chrono::steady_clock;

using klosia::bench::cpuSeconds;
using klosia::bench::median;
using klosia::bench::selfCpu;

void enterWaylandSession(char** argv) {
    if (std::getenv("WAYLAND_DISPLAY") != nullptr) {
        return;
    }
    const std::string script =
        std::string(KLOSIA_SOURCE_DIR) + "/tests/session/run-wayland-session.sh";
    std::vector<char*> args = {const_cast<char*>(script.c_str()),           // NOLINT
                               const_cast<char*>("--"), argv[0], nullptr};  // NOLINT
    execv(script.c_str(), args.data());
    std::fprintf(stderr, "wayland_list_bench: cannot run the session script\n");
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    enterWaylandSession(argv);
    QCoreApplication app(argc, argv);
    setenv("QT_QPA_PLATFORM", "wayland", 1);
    std::vector<pid_t> clients;
    for (std::size_t i = 0; i < kClients; ++i) {
        clients.push_back(
            klosia::bench::spawn({KLOSIA_QT_FIXTURE_PATH, "--app-id", "bench" + std::to_string(i),
                                  "--windows", std::to_string(kWindowsPerClient)},
                                 true));
    }
    const auto stopClients = [&] {
        for (const pid_t pid : clients) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    };
    QString error;
    std::unique_ptr<klosia::WaylandWorkspace> workspace;
    std::size_t listed = 0;
    const std::size_t windows = kClients * kWindowsPerClient;
    // Every client listed with its pid once its windows are all up.
    for (int wait = 0; wait < 600 && listed < kClients; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        workspace = klosia::createWaylandWorkspace(&error, nullptr,
                                                   klosia::WaylandWorkspace::Updates::onCall);
        listed = 0;
        for (const auto& entry : workspace ? workspace->runningApplications()
                                           : std::vector<klosia::RunningApplicationPtr>{}) {
            listed += entry->processIdentifier() > 0 ? 1 : 0;
        }
    }
    if (listed < kClients) {
        std::fprintf(stderr, "wayland_list_bench: the clients never all appeared (%s)\n",
                     qPrintable(error));
        stopClients();
        return 1;
    }
    // Let the last windows map: sway's tree and the list settle.
    std::this_thread::sleep_for(std::chrono::seconds(2));

    std::vector<double> coldWall;
    std::vector<double> ourWall;
    std::vector<double> ourCpu;
    std::vector<double> baseWall;
    std::vector<double> baseCpu;
    for (int run = 0; run < kRuns; ++run) {
        // Cold, as klosia --list: a new connection, the desktop entries read, the first list.
        const auto coldStart = Clock::now();
        workspace = klosia::createWaylandWorkspace(&error, nullptr,
                                                   klosia::WaylandWorkspace::Updates::onCall);
        coldWall.push_back(std::chrono::duration<double>(Clock::now() - coldStart).count());

        const auto start = Clock::now();
        const double cpuStart = selfCpu();
        listed = workspace->runningApplications().size();
        ourCpu.push_back(selfCpu() - cpuStart);
        ourWall.push_back(std::chrono::duration<double>(Clock::now() - start).count());

        const auto baseStart = Clock::now();
        const pid_t pid = klosia::bench::spawn({"swaymsg", "-t", "get_tree"}, true);
        int status = 0;
        rusage usage{};
        if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "wayland_list_bench: swaymsg -t get_tree failed\n");
            stopClients();
            return 1;
        }
        baseWall.push_back(std::chrono::duration<double>(Clock::now() - baseStart).count());
        baseCpu.push_back(cpuSeconds(usage));
    }
    stopClients();
    // The part of the cold figure that is not Wayland: reading the installed desktop entries.
    std::vector<double> entriesWall;
    for (int run = 0; run < kRuns; ++run) {
        const auto entriesStart = Clock::now();
        const klosia::DesktopEntries entries;
        entriesWall.push_back(std::chrono::duration<double>(Clock::now() - entriesStart).count());
    }

    const double wall = median(ourWall);
    const double cpu = median(ourCpu);
    const double bWall = median(baseWall);
    const double bCpu = median(baseCpu);
    std::printf(
        "wayland_list_bench: %zu toplevels of %zu clients, %zu applications listed; "
        "medians of %d runs\n",
        windows, kClients, listed, kRuns);
    std::printf(
        "  cold (connection + first listing): %8.2f ms wall, of which the desktop entries "
        "%.2f ms\n",
        median(coldWall) * 1e3, median(entriesWall) * 1e3);
    std::printf("  klosia listing:   %8.2f ms wall  %8.2f ms CPU\n", wall * 1e3, cpu * 1e3);
    std::printf("  swaymsg get_tree: %8.2f ms wall  %8.2f ms CPU\n", bWall * 1e3, bCpu * 1e3);
    const double wallRatio = wall / bWall;
    const double coldRatio = median(coldWall) / bWall;
    std::printf("  ratio klosia/swaymsg: wall %.3f (cold %.3f), CPU %.3f (goal <= %.1f): %s\n",
                wallRatio, coldRatio, bCpu > 0 ? cpu / bCpu : 0, kGoal,
                wallRatio <= kGoal ? "met" : "NOT met");
    return 0;
}
