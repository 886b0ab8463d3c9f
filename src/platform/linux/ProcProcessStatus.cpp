#include "platform/linux/ProcProcessStatus.h"

#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>

#include "platform/linux/ProcessInfo.h"

namespace klosia {

namespace {

// A longer gap than this between two samples means nobody watched in between.
constexpr std::int64_t kStaleAfterNs = 5'000'000'000;

// Kernel threads are read on every this many samples.
constexpr std::uint64_t kKernelThreadEvery = 5;

std::int64_t nowNs(clockid_t clock) {
    timespec now{};
    if (::clock_gettime(clock, &now) != 0) {
        return 0;
    }
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// "%5d %4.1f\n" without the C library's locale: Qt sets LC_NUMERIC from the environment, and a
// decimal comma would break every reader of the listing.
void appendLine(QByteArray& out, pid_t pid, double load) {
    std::array<char, 48> text{};
    char* const end = text.data() + text.size();
    std::array<char, 24> number{};
    char* cursor = text.data();
    const auto pidText = std::to_chars(number.data(), number.data() + number.size(), pid);
    for (auto width = pidText.ptr - number.data(); width < 5; ++width) {
        *cursor++ = ' ';
    }
    cursor = std::copy(number.data(), pidText.ptr, cursor);
    *cursor++ = ' ';
    const auto loadText = std::to_chars(number.data(), number.data() + number.size(), load,
                                        std::chars_format::fixed, 1);
    if (pidText.ec != std::errc() || loadText.ec != std::errc()) {
        return;
    }
    for (auto width = loadText.ptr - number.data(); width < 4; ++width) {
        *cursor++ = ' ';
    }
    cursor = std::copy(number.data(), loadText.ptr, cursor);
    if (cursor < end) {
        *cursor++ = '\n';
        out.append(text.data(), cursor - text.data());
    }
}

// Tick accounting is coarse: a process seconds old, or a short interval, can compute to more
// than all processors together could give.
double bounded(double load, double ceiling) {
    return load > 0.0 ? std::min(load, ceiling) : 0.0;
}

}  // namespace

std::optional<QByteArray> ProcProcessStatus::sample() {
    const std::lock_guard lock(mutex_);

    DIR* dir = ::opendir("/proc");
    if (dir == nullptr) {
        return std::nullopt;
    }
    const int procFd = ::dirfd(dir);
    const double ticksPerSecond = static_cast<double>(ProcessInfo::clockTicksPerSecond());
    const std::int64_t now = nowNs(CLOCK_MONOTONIC);
    // Start times count clock ticks since boot, suspended time included.
    const double bootTicks = static_cast<double>(nowNs(CLOCK_BOOTTIME)) / 1e9 * ticksPerSecond;
    const std::int64_t gap = now - previousAt_;
    const bool fresh = !previous_.empty() && gap > 0 && gap <= kStaleAfterNs;
    const bool readKernelThreads = ++samples_ % kKernelThreadEvery == 0;
    const double ceiling =
        100.0 * static_cast<double>(std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN)));

    QByteArray out;
    out.reserve(lastSize_ + 256);
    out.append("  PID %CPU\n");
    current_.clear();

    std::array<char, 1024> buffer{};
    while (const dirent* entry = ::readdir(dir)) {
        const auto pid = ProcessInfo::parsePid(entry->d_name);
        if (!pid) {
            continue;
        }
        const auto found =
            std::lower_bound(previous_.begin(), previous_.end(), *pid,
                             [](const Seen& seen, pid_t value) { return seen.pid < value; });
        const Seen* before =
            fresh && found != previous_.end() && found->pid == *pid ? &*found : nullptr;
        // readdir answers inode 1 when it could not look the process up: then read it.
        if (before != nullptr && before->kernelThread && !readKernelThreads && entry->d_ino > 1 &&
            before->inode == entry->d_ino) {
            current_.push_back(*before);
            appendLine(out, *pid, before->load);
            continue;
        }
        // A process that ends during the scan simply has no line.
        const auto stat = ProcessInfo::statAt(procFd, *pid, buffer.data(), buffer.size());
        if (!stat) {
            continue;
        }
        const std::uint64_t ticks = stat->utime + stat->stime;
        double load = 0.0;
        if (before != nullptr && before->startTime == stat->startTime) {
            const double elapsed = static_cast<double>(now - before->readAt) / 1e9 * ticksPerSecond;
            if (elapsed > 0.0 && ticks > before->ticks) {
                load = 100.0 * static_cast<double>(ticks - before->ticks) / elapsed;
            }
        } else {
            const double lifetime = bootTicks - static_cast<double>(stat->startTime);
            if (lifetime > 0.0) {
                load = 100.0 * static_cast<double>(ticks) / lifetime;
            }
        }
        load = bounded(load, ceiling);
        current_.push_back(
            {*pid, entry->d_ino, stat->startTime, ticks, now, load, stat->kernelThread});
        appendLine(out, *pid, load);
    }
    ::closedir(dir);

    // /proc lists pids ascending; the lookup above relies on it, so make sure.
    const auto byPid = [](const Seen& a, const Seen& b) { return a.pid < b.pid; };
    if (!std::is_sorted(current_.begin(), current_.end(), byPid)) {
        std::sort(current_.begin(), current_.end(), byPid);
    }
    previous_.swap(current_);
    previousAt_ = now;
    lastSize_ = out.size();
    return out;
}

}  // namespace klosia
