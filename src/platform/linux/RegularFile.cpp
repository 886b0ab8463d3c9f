#include "platform/linux/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include <cerrno>
#include <cstring>
#include <optional>

namespace klosia {

namespace {

QString errorText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

RegularFile::Result failure(RegularFile::Status status, const QString& error) {
    return {status, {}, error};
}

// Sorts out everything that is not a regular file; nullopt for a regular file.
std::optional<RegularFile::Result> judgeKind(mode_t mode) {
    if (S_ISREG(mode)) {
        return std::nullopt;
    }
    if (S_ISDIR(mode)) {
        return failure(RegularFile::Status::unreadable, errorText(EISDIR));
    }
    QString kind = QStringLiteral("not a regular file");
    if (S_ISFIFO(mode)) {
        kind = QStringLiteral("a FIFO, not a regular file");
    } else if (S_ISSOCK(mode)) {
        kind = QStringLiteral("a socket, not a regular file");
    } else if (S_ISCHR(mode) || S_ISBLK(mode)) {
        kind = QStringLiteral("a device, not a regular file");
    }
    return failure(RegularFile::Status::notRegular, kind);
}

}  // namespace

RegularFile::Result RegularFile::read(const QString& path, qsizetype maxSize) {
    const QByteArray name = QFile::encodeName(path);
    // Looking first keeps devices from being opened at all; the check on the open descriptor
    // below catches a file swapped in between.
    struct stat status {};
    if (::stat(name.constData(), &status) != 0) {
        // ENOTDIR: a parent is not a directory, so the file cannot exist either.
        if (errno == ENOENT || errno == ENOTDIR) {
            return failure(Status::missing, {});
        }
        return failure(Status::unreadable, errorText(errno));
    }
    if (auto judged = judgeKind(status.st_mode)) {
        return *judged;
    }

    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return failure(Status::missing, {});
        }
        return failure(Status::unreadable, errorText(errno));
    }
    if (::fstat(fd, &status) != 0) {
        const int code = errno;
        ::close(fd);
        return failure(Status::unreadable, errorText(code));
    }
    if (auto judged = judgeKind(status.st_mode)) {
        ::close(fd);
        return *judged;
    }

    Result result{Status::ok, {}, {}};
    char buffer[65536];
    while (true) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int code = errno;
            ::close(fd);
            return failure(Status::unreadable, errorText(code));
        }
        if (got == 0) {
            break;
        }
        result.content.append(buffer, got);
        if (result.content.size() > maxSize) {
            ::close(fd);
            return failure(Status::tooLarge, QStringLiteral("larger than %1 bytes").arg(maxSize));
        }
    }
    ::close(fd);
    return result;
}

}  // namespace klosia
