// Processor time of one CPU sample read from /proc against the baseline, one run of
// "ps -A -o pid,pcpu" (what a sample would cost if it launched the system's process-status
// command). Both produce the same two columns for every process. Ours is timed with the
// calling thread's CPU clock around the call; the command with the user + system time that
// wait4() reports for the child, which covers its start-up, dynamic linking and /proc reads.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>
#include <vector>

#include "platform/linux/ProcProcessStatus.h"

using namespace klosia;

namespace {

constexpr int kRuns = 30;

double threadCpuMs() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double toMs(const timeval& time) {
    return static_cast<double>(time.tv_sec) * 1e3 + static_cast<double>(time.tv_usec) / 1e3;
}

struct PsRun {
    double cpuMs = 0;
    int lines = 0;
};

// Runs the command once, reads its output to the end and collects its resource usage.
std::optional<PsRun> runPs() {
    std::array<int, 2> pipeFds{};
    if (::pipe2(pipeFds.data(), O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    std::array<const char*, 5> argv{"ps", "-A", "-o", "pid,pcpu", nullptr};
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, "/bin/ps", &actions, nullptr,
                                      const_cast<char* const*>(argv.data()), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    if (spawned != 0) {
        ::close(pipeFds[0]);
        return std::nullopt;
    }
    PsRun run;
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t got = ::read(pipeFds[0], buffer.data(), buffer.size());
        if (got <= 0) {
            break;
        }
        run.lines += static_cast<int>(std::count(buffer.data(), buffer.data() + got, '\n'));
    }
    ::close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    if (::wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return std::nullopt;
    }
    run.cpuMs = toMs(usage.ru_utime) + toMs(usage.ru_stime);
    return run;
}

double mean(const std::vector<double>& values) {
    double sum = 0;
    for (const double value : values) {
        sum += value;
    }
    return values.empty() ? 0 : sum / static_cast<double>(values.size());
}

double median(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

}  // namespace

int main() {
    ProcProcessStatus status;
    // Warm-up: the first sample has no earlier one to compare with.
    const auto first = status.sample();
    if (!first) {
        std::printf("cpu sample: /proc could not be read\n");
        return 0;
    }
    int ourLines = 0;
    std::vector<double> ours;
    for (int i = 0; i < kRuns; ++i) {
        // Samples come a second apart in use; a short pause keeps them apart here too.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const double before = threadCpuMs();
        const auto listing = status.sample();
        const double after = threadCpuMs();
        if (listing) {
            ours.push_back(after - before);
            ourLines = static_cast<int>(listing->count('\n'));
        }
    }

    runPs();  // warm-up: page cache, the dynamic linker's cache
    int psLines = 0;
    std::vector<double> theirs;
    for (int i = 0; i < kRuns; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (const auto run = runPs()) {
            theirs.push_back(run->cpuMs);
            psLines = run->lines;
        }
    }
    if (theirs.empty()) {
        std::printf("cpu sample: %.3f ms CPU (%d processes); /bin/ps could not be run\n",
                    median(ours), ourLines - 1);
        return 0;
    }

    const double ourMs = median(ours);
    const double psMs = median(theirs);
    const double ratio = psMs > 0 ? ourMs / psMs : 0;
    std::printf(
        "cpu sample: %.3f ms CPU, ps -A -o pid,pcpu: %.2f ms CPU, ratio %.3f (goal <= 0.2)"
        "%s\n",
        ourMs, psMs, ratio, ratio <= 0.2 ? "" : "  GOAL MISSED");
    std::printf("  medians of %d runs each; %d processes listed by the sample, %d by ps\n", kRuns,
                ourLines - 1, psLines - 1);
    // Kernel threads are read on every fifth sample only: the mean includes those samples.
    std::printf("  means: cpu sample %.3f ms, ps %.2f ms, ratio %.3f\n", mean(ours), mean(theirs),
                mean(theirs) > 0 ? mean(ours) / mean(theirs) : 0);
    return 0;
}
