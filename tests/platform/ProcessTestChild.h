#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/ProcessInfo.h"
#include "support/Wait.h"

namespace klosia::test {

// The value of an optional that an ASSERT has just checked (clang-tidy cannot see through
// gtest's macros).
template <typename T>
T orDefault(const std::optional<T>& value) {
    return value.value_or(T{});
}

// Runs Qt events for a while (to let anything that should not happen, happen).
inline void runEventsFor(std::chrono::milliseconds duration) {
    waitUntil([] { return false; }, duration);
}

// A child process of the test, started with posix_spawn. The destructor kills and reaps it,
// so nothing outlives a test.
class TestChild {
public:
    explicit TestChild(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {
        std::vector<char*> argv;
        argv.reserve(arguments_.size() + 1);
        for (auto& argument : arguments_) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv.front(), nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
            return;
        }
        // The start time is fixed at the fork; exec does not change it.
        startTime_ = ProcessInfo::startTime(pid_).value_or(0);
    }
    ~TestChild() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
    }
    TestChild(const TestChild&) = delete;
    TestChild& operator=(const TestChild&) = delete;

    bool started() const { return pid_ > 0 && startTime_ != 0; }
    pid_t pid() const { return pid_; }
    std::uint64_t startTime() const { return startTime_; }

    // Waits until the program `arguments[0]` has replaced the forked copy of the test.
    bool waitForExec() {
        const std::string program = arguments_.front();
        return waitUntil([&] {
            const auto line = ProcessInfo::cmdline(pid_);
            return !line.isEmpty() && line.front().toStdString() == program;
        });
    }

    // Waits until the child has exited, leaving it a zombie (not reaped).
    bool waitForExitWithoutReaping() {
        return waitUntil([&] {
            siginfo_t info{};
            return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) ==
                       0 &&
                   info.si_pid == pid_;
        });
    }

    // Waits for the exit and collects it; the status is the one waitpid reports.
    bool reap(int* status = nullptr) {
        int result = 0;
        const bool done = waitUntil([&] { return ::waitpid(pid_, &result, WNOHANG) == pid_; });
        if (done) {
            reaped_ = true;
            if (status != nullptr) {
                *status = result;
            }
        }
        return done;
    }

    // Ends the child from the test itself (it is ours), then collects it.
    void killAndReap() {
        ::kill(pid_, SIGKILL);
        reap();
    }

private:
    std::vector<std::string> arguments_;
    pid_t pid_ = -1;
    std::uint64_t startTime_ = 0;
    bool reaped_ = false;
};

}  // namespace klosia::test
