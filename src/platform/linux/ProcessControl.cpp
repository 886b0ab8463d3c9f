#include "platform/linux/ProcessControl.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "log/Vezizur.h"
#include "platform/linux/PidFd.h"
#include "platform/linux/ProcessInfo.h"

namespace klosia {

namespace {

std::string signalName(int signal) {
    switch (signal) {
        case SIGTERM:
            return "SIGTERM";
        case SIGKILL:
            return "SIGKILL";
        default:
            return "signal " + std::to_string(signal);
    }
}

bool refuse(pid_t pid, int signal, const std::string& reason) {
    logger.log("refused " + signalName(signal) + " to pid " + std::to_string(pid) + ": " + reason,
               VezizurLevel::error);
    return false;
}

}  // namespace

bool ProcessControl::sendSignal(pid_t pid, std::uint64_t expectedStartTime, int signal,
                                const ProcessReader& reader) {
    if (signal != SIGTERM && signal != SIGKILL) {
        return refuse(pid, signal, "only SIGTERM and SIGKILL are sent");
    }
    if (pid <= 1) {
        return refuse(pid, signal, "not a process that may be signalled");
    }
    if (pid == ::getpid()) {
        return refuse(pid, signal, "this is our own process");
    }

    // The pidfd pins the process: from here on a reused pid can no longer be signalled by
    // mistake, so checking the start time after opening it settles which process we hold.
    const PidFd pidFd(pid);
    if (!pidFd.isOpen()) {
        if (pidFd.error() == ESRCH) {
            return refuse(pid, signal, "the process is gone");
        }
        return refuse(pid, signal,
                      std::string("cannot open a pidfd: ") + std::strerror(pidFd.error()));
    }
    const auto current = reader.stat(pid);
    if (!current) {
        return refuse(pid, signal, "the process is gone");
    }
    if (current->startTime != expectedStartTime) {
        return refuse(pid, signal,
                      "the pid now names another process (start time " +
                          std::to_string(current->startTime) + ", expected " +
                          std::to_string(expectedStartTime) + ")");
    }
    if (current->hasEnded()) {
        return refuse(pid, signal, "the process has already exited");
    }
    if (current->kernelThread) {
        return refuse(pid, signal, "a kernel thread");
    }
    const auto owner = reader.uids(pid);
    if (!owner) {
        return refuse(pid, signal, "the owner of the process cannot be read");
    }
    const uid_t user = ::getuid();
    if (owner->real != user) {
        return refuse(
            pid, signal,
            "the process belongs to another user (uid " + std::to_string(owner->real) + ")");
    }
    if (!owner->allEqual(user)) {
        return refuse(pid, signal,
                      "the process runs with another user's rights (effective uid " +
                          std::to_string(owner->effective) + ", saved uid " +
                          std::to_string(owner->saved) + ")");
    }

    if (const int error = pidFd.sendSignal(signal); error != 0) {
        return refuse(pid, signal,
                      error == ESRCH ? std::string("the process is gone")
                                     : std::string("the kernel refused: ") + std::strerror(error));
    }
    logger.log("sent " + signalName(signal) + " to pid " + std::to_string(pid), VezizurLevel::info);
    return true;
}

bool ProcessControl::isAlive(pid_t pid, std::uint64_t startTime) {
    return ProcessInfo::life(pid, startTime) == ProcessLife::running;
}

}  // namespace klosia
