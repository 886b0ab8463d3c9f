// The processor time the running program spends while nothing happens, with the automatic
// quitting of background applications switched on, against the same with it off, on a desktop
// with 10 windowed clients and 300 other processes. The check runs every second; with the rule on
// it must cost no more than the rule's own arithmetic, never a look at the desktop. Runs inside
// the virtual desktop: started without DISPLAY it starts itself again through
// tests/session/run-session.sh. KLOSIA_BENCH_PROGRAM names another build of the program to time.
#include <QString>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSession.h"
#include "core/AppInfo.h"
#include "platform/linux/FileUserDefaults.h"
#include "platform/linux/ProcessInfo.h"
#include "settings/Preferences.h"

namespace {

constexpr std::size_t kClients = 10;
constexpr int kOtherProcesses = 300;
constexpr auto kSettle = std::chrono::seconds(5);
constexpr auto kMeasured = std::chrono::seconds(20);
constexpr int kRuns = 3;
constexpr double kGoal = 1.5;

bool writeSettings(bool ruleOn) {
    klosia::FileUserDefaults defaults(klosia::FileUserDefaults::defaultPath());
    defaults.set(
        QStringLiteral("kUserdefaultsFirstRunCount_") + QLatin1String(klosia::appinfo::kVersion),
        std::int64_t{1});
    // Ten hours: nothing is warned about or quit while the bench measures.
    defaults.set(QString(klosia::Preferences::kQuitInactiveAppsAfter),
                 ruleOn ? QByteArrayLiteral(R"({"enabled":true,"amount":10,"unit":3600})")
                        : QByteArrayLiteral(R"({"enabled":false,"amount":10,"unit":3600})"));
    return defaults.synchronize();
}

// utime + stime of the process, in clock ticks.
std::uint64_t cpuTicks(pid_t pid) {
    const auto stat = klosia::ProcessInfo::stat(pid);
    return stat ? stat->utime + stat->stime : 0;
}

// Milliseconds of processor time the program used over kMeasured, once settled.
double idleMilliseconds(bool ruleOn) {
    if (!writeSettings(ruleOn)) {
        std::fprintf(stderr, "inactive_idle_bench: cannot write the settings\n");
        std::exit(1);
    }
    // KLOSIA_BENCH_PROGRAM measures another build of the program (an older one, say).
    const char* program = std::getenv("KLOSIA_BENCH_PROGRAM");
    const pid_t klosia =
        klosia::bench::spawn({program != nullptr ? program : KLOSIA_EXECUTABLE}, true);
    std::this_thread::sleep_for(kSettle);
    const std::uint64_t before = cpuTicks(klosia);
    std::this_thread::sleep_for(kMeasured);
    const std::uint64_t after = cpuTicks(klosia);
    kill(klosia, SIGTERM);
    waitpid(klosia, nullptr, 0);
    return static_cast<double>(after - before) * 1000.0 /
           static_cast<double>(klosia::ProcessInfo::clockTicksPerSecond());
}

}  // namespace

int main(int argc, char** argv) {
    (void)argc;
    klosia::bench::enterSession(argv, "inactive_idle_bench");
    QString error;
    const std::shared_ptr<klosia::XcbConnection> connection = klosia::XcbConnection::open(&error);
    if (!connection) {
        std::fprintf(stderr, "inactive_idle_bench: %s\n", qPrintable(error));
        return 1;
    }
    klosia::bench::Fixtures fixtures;
    std::size_t windows = 0;
    if (!fixtures.start(kClients, 1, *connection, &windows)) {
        std::fprintf(stderr, "inactive_idle_bench: the fixtures' windows did not appear\n");
        return 1;
    }
    std::vector<pid_t> others;
    others.reserve(kOtherProcesses);
    for (int i = 0; i < kOtherProcesses; ++i) {
        others.push_back(klosia::bench::spawn({"sleep", "600"}, true));
    }

    std::printf("idle processor time of the program over %lld s, %zu windows, %d more processes\n",
                static_cast<long long>(kMeasured.count()), windows, kOtherProcesses);
    double off = 0;
    double on = 0;
    for (int run = 1; run <= kRuns; ++run) {
        const double runOff = idleMilliseconds(false);
        const double runOn = idleMilliseconds(true);
        std::printf("  run %d: rule off %.0f ms, rule on %.0f ms\n", run, runOff, runOn);
        off += runOff;
        on += runOn;
    }
    for (const pid_t pid : others) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    // The clock counts whole ticks of 10 ms: one tick a run on both sides keeps the ratio of two
    // near-idle figures finite and says what a tick of noise weighs.
    const double floor = 10.0 * kRuns;
    const double ratio = (on + floor) / (off + floor);
    const double seconds = static_cast<double>(kMeasured.count() * kRuns);
    std::printf(
        "rule on / rule off (baseline): %.2f (goal <= %.1f); %.2f ms of processor time a "
        "second more with the rule on\n",
        ratio, kGoal, (on - off) / seconds);
    return 0;
}
