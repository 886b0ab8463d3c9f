#pragma once

#include <QByteArray>

#include <functional>
#include <mutex>
#include <source_location>
#include <vector>

#include "model/CPUEntry.h"

namespace klosia {

class Dispatcher;
class ProcessStatus;

// Samples the processor load of every process from the process-status listing. Samples block
// while the listing is produced: run them off the main thread.
class CPU {
public:
    using Completion = std::function<void(const std::vector<CPUEntry>&)>;

    // `source` must outlive the instance; nullptr samples nothing.
    explicit CPU(ProcessStatus* source);
    CPU(const CPU&) = delete;
    CPU& operator=(const CPU&) = delete;

    // The program's instance. Start-up installs one over the platform's listing with
    // setShared(); until then the fallback has no source and never completes.
    static CPU& shared();
    static void setShared(CPU* instance);

    // Stores `completion` (replacing the previous one) and takes one sample. The parsed list
    // goes to the completion stored when the sample ends, so a late result of overlapping
    // samples reaches the newest receiver. When the listing cannot be produced at all the
    // completion is not called (rows keep their last load); a listing that is not UTF-8
    // text gives an empty list.
    void sample(Completion completion);

    // A header line, then "pid cpu" lines. Lines are split at '\n' and pieces at ' ' only
    // (empty pieces dropped); a line counts only with exactly two pieces that parse whole: a
    // base-10 signed 64-bit integer, then a decimal float in C-locale syntax. A single leading
    // '+' is accepted on either, as C's conversions do; "nan", "inf", hexadecimal and
    // out-of-range values are rejected, since they are no load a row could show. Output that
    // is not UTF-8 gives an empty list.
    static std::vector<CPUEntry> parse(const QByteArray& output);

    // Schedules a sample of the shared instance on the background queue whose result is
    // posted as "CPUDidChanged" with a CPUSample, delivered on the main thread. `where` is the
    // caller's position for the bus's log line.
    static void broadcastSample(Dispatcher& dispatcher,
                                std::source_location where = std::source_location::current());

private:
    ProcessStatus* source_;
    std::mutex mutex_;
    Completion completion_;
};

}  // namespace klosia
