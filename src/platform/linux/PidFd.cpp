#include "platform/linux/PidFd.h"

#include <unistd.h>

#include <cerrno>
#include <utility>

extern "C" {
#include <sys/pidfd.h>
}

namespace klosia {

PidFd::PidFd(pid_t pid) {
    if (pid <= 0) {
        error_ = ESRCH;
        return;
    }
    fd_ = ::pidfd_open(pid, 0);
    error_ = fd_ < 0 ? errno : 0;
}

PidFd::~PidFd() {
    close();
}

PidFd::PidFd(PidFd&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), error_(std::exchange(other.error_, 0)) {}

PidFd& PidFd::operator=(PidFd&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        error_ = std::exchange(other.error_, 0);
    }
    return *this;
}

int PidFd::sendSignal(int signal) const {
    if (fd_ < 0) {
        return EBADF;
    }
    return ::pidfd_send_signal(fd_, signal, nullptr, 0) == 0 ? 0 : errno;
}

void PidFd::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

}  // namespace klosia
