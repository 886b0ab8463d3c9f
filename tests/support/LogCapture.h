#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "log/Vezizur.h"

namespace klosia::test {

// Points the program's logger at a debug instance that records every line; restores on exit.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<std::string> lines() const;
    // Lines whose text contains `needle`.
    std::vector<std::string> matching(const std::string& needle) const;
    void clear();
    Vezizur& instance() { return logger_; }

private:
    Vezizur logger_;
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace klosia::test
