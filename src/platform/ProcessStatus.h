#pragma once

#include <QByteArray>

#include <optional>

namespace klosia {

// The system's process-status listing: a header line, then one line per process with its pid
// and its processor load in percent, separated by spaces ("  PID %CPU\n  412  3.5\n").
class ProcessStatus {
public:
    virtual ~ProcessStatus() = default;
    // nullopt when the listing could not be produced at all.
    virtual std::optional<QByteArray> sample() = 0;
};

}  // namespace klosia
