#pragma once

#include <QByteArray>

#include <sys/types.h>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/ProcessStatus.h"

namespace klosia {

// The process-status listing read straight from /proc, in the two columns "ps -A -o pid,pcpu"
// prints ("  PID %CPU", then "%5d %4.1f" per process, ascending pids), but with the current
// load rather than the average over the whole lifetime: 100 × the processor ticks a process
// used since it was last read, divided by the ticks that passed.
//
// A process this instance has not seen before (the first sample, a new process, a reused pid)
// shows its average since it started, as ps would; a process idle for hours then reads about 0
// and one that is busy right away reads high, which is what a first look should suggest. The
// same happens after a pause of more than a few seconds (the menu was closed), so a reopened
// menu never shows an average over the time nobody looked. Processes that end are forgotten.
// Tick accounting is coarse, so a value never exceeds 100 × the processors online.
//
// Reading /proc/PID/stat is nearly all the cost of a sample. Kernel threads, often half of all
// processes and never an application, are therefore read on every fifth sample only; in
// between their lines repeat the last value. The inode of /proc/PID, which readdir gives for
// free, tells whether the pid still names the same kernel thread.
//
// Safe to call from several threads; concurrent samples run one after the other.
class ProcProcessStatus : public ProcessStatus {
public:
    std::optional<QByteArray> sample() override;

private:
    struct Seen {
        pid_t pid = 0;
        ino_t inode = 0;  // of /proc/PID; a reused pid gets a new one
        std::uint64_t startTime = 0;
        std::uint64_t ticks = 0;  // user + system time when last read
        std::int64_t readAt = 0;  // CLOCK_MONOTONIC nanoseconds of that read
        double load = 0.0;        // the value last listed
        bool kernelThread = false;
    };

    std::mutex mutex_;
    std::vector<Seen> previous_;  // ascending pids
    std::vector<Seen> current_;
    std::int64_t previousAt_ = 0;  // CLOCK_MONOTONIC nanoseconds of the previous sample
    std::uint64_t samples_ = 0;
    qsizetype lastSize_ = 0;
};

}  // namespace klosia
