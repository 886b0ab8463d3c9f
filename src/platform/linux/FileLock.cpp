#include "platform/linux/FileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <cerrno>
#include <cstring>
#include <thread>

namespace klosia {

namespace {

QString describe(const QString& what, const QString& path, int code) {
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(code)));
}

// Errors of a file system that has no locks, rather than of a lock that is taken.
bool locksUnsupported(int code) {
    return code == ENOLCK || code == EOPNOTSUPP || code == EINVAL || code == ENOSYS;
}

}  // namespace

FileLock::~FileLock() {
    release();
}

bool FileLock::acquire(const QString& path, std::chrono::milliseconds patience, QString& error) {
    release();
    const QByteArray name = QFile::encodeName(path);
    fd_ = ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        error = describe(QStringLiteral("cannot open lock file"), path, errno);
        return false;
    }
    struct stat status {};
    if (::fstat(fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = QStringLiteral("lock file %1 is not a regular file").arg(path);
        release();
        return false;
    }

    // Polled rather than blocking: the caller may be the user interface thread, and a holder
    // that never lets go must turn into a reported failure, not a frozen program.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        const int code = errno;
        if (code == EINTR) {
            continue;
        }
        if (locksUnsupported(code)) {
            return true;
        }
        if (code != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
            error = code == EWOULDBLOCK
                        ? QStringLiteral("lock file %1 is held by another program").arg(path)
                        : describe(QStringLiteral("cannot lock"), path, code);
            release();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    held_ = true;
    return true;
}

void FileLock::release() {
    if (fd_ >= 0) {
        // Closing the only descriptor of the open file drops the lock.
        ::close(fd_);
    }
    fd_ = -1;
    held_ = false;
}

}  // namespace klosia
