#include "support/LogCapture.h"

namespace klosia::test {

LogCapture::LogCapture() {
    logger_.level = VezizurLevel::all;
    logger_.environment = VezizurEnvironment::debug;
    logger_.print = VezizurPrint::all;
    logger_.sink = [this](std::string_view line) {
        const std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    };
    logger.pointAt(&logger_);
}

LogCapture::~LogCapture() {
    logger.pointAt(nullptr);
}

std::vector<std::string> LogCapture::lines() const {
    const std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> LogCapture::matching(const std::string& needle) const {
    std::vector<std::string> out;
    for (const auto& line : lines()) {
        if (line.find(needle) != std::string::npos) {
            out.push_back(line);
        }
    }
    return out;
}

void LogCapture::clear() {
    const std::lock_guard lock(mutex_);
    lines_.clear();
}

}  // namespace klosia::test
