#pragma once

#include <sys/types.h>

namespace klosia {

// A pidfd: a descriptor that pins one process, so that a pid reused by another process can
// never be mistaken for it. Closed when the object goes. Every user of pidfds in the program goes
// through this class, so the system header (which glibc 2.36 declares without C linkage) is
// included in one place only.
class PidFd {
public:
    PidFd() = default;
    // Opens a pidfd for `pid`; isOpen() tells whether it worked and error() why not (ESRCH: the
    // process is gone; EMFILE/ENFILE: out of descriptors).
    explicit PidFd(pid_t pid);
    ~PidFd();
    PidFd(PidFd&& other) noexcept;
    PidFd& operator=(PidFd&& other) noexcept;
    PidFd(const PidFd&) = delete;
    PidFd& operator=(const PidFd&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    int error() const { return error_; }

    // 0 when the kernel accepted the signal, else its errno.
    int sendSignal(int signal) const;

private:
    void close();

    int fd_ = -1;
    int error_ = 0;
};

}  // namespace klosia
