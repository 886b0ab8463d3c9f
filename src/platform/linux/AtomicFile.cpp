#include "platform/linux/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

namespace klosia {

namespace {

QString describe(const QString& what, const QString& path, int code) {
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(code)));
}

void setError(QString* error, const QString& text) {
    if (error != nullptr) {
        *error = text;
    }
}

QString temporaryPrefix(const QString& target) {
    return QStringLiteral(".%1.tmp-").arg(QFileInfo(target).fileName());
}

QString randomSuffix() {
    static constexpr char kAlphabet[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 8; ++i) {
        suffix += QLatin1Char(kAlphabet[QRandomGenerator::global()->bounded(
            static_cast<int>(sizeof(kAlphabet) - 1))]);
    }
    return suffix;
}

bool writeAll(int fd, const QByteArray& content) {
    const char* data = content.constData();
    auto left = static_cast<size_t>(content.size());
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

// The file a symbolic link at `path` finally names; `path` itself otherwise. False with `error`
// set when the link leads into a directory that belongs to someone else.
bool resolveLink(const QString& path, QString& target, QString* error) {
    const QFileInfo info(path);
    if (!info.isSymLink()) {
        target = path;
        return true;
    }
    const QString canonical = info.canonicalFilePath();
    // A dangling link: write where it points, so the link becomes valid.
    target = canonical.isEmpty() ? info.symLinkTarget() : canonical;
    // The file is replaced through a new file made in the target's directory. That happens
    // only in a directory the writing user owns: a link into a shared or foreign directory
    // (/tmp, another user's home), dangling or not, is refused, the link stays as it is and
    // the caller keeps its content. Missing directories are not created at a link's end.
    const QString directory = QFileInfo(target).path();
    struct stat status {};
    if (::stat(QFile::encodeName(directory).constData(), &status) != 0) {
        setError(error, describe(QStringLiteral("cannot follow the link %1 into").arg(path),
                                 directory, errno));
        return false;
    }
    if (status.st_uid != ::geteuid()) {
        setError(error, QStringLiteral("not following the link %1 into %2, a directory owned by "
                                       "another user")
                            .arg(path, directory));
        return false;
    }
    return true;
}

}  // namespace

bool AtomicFile::makeDirectories(const QString& directory, int permissions, QString* error) {
    const QString clean = QDir::cleanPath(directory);
    struct stat status {};
    if (::stat(QFile::encodeName(clean).constData(), &status) == 0) {
        if (S_ISDIR(status.st_mode)) {
            return true;
        }
        setError(error, describe(QStringLiteral("cannot use directory"), clean, ENOTDIR));
        return false;
    }
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !makeDirectories(parent, permissions, error)) {
        return false;
    }
    if (::mkdir(QFile::encodeName(clean).constData(), static_cast<mode_t>(permissions)) != 0 &&
        errno != EEXIST) {
        setError(error, describe(QStringLiteral("cannot create directory"), clean, errno));
        return false;
    }
    return true;
}

bool AtomicFile::write(const QString& path, const QByteArray& content, int permissions,
                       QString* error) {
    QString target;
    if (!resolveLink(QDir::cleanPath(QDir::current().absoluteFilePath(path)), target, error)) {
        return false;
    }
    const QString directory = QFileInfo(target).path();
    if (!makeDirectories(directory, 0700, error)) {
        return false;
    }

    QString temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = directory + QLatin1Char('/') + temporaryPrefix(target) + randomSuffix();
        fd = ::open(QFile::encodeName(temporary).constData(),
                    O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(permissions));
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        // Named by its directory, not its random name, so that a repeated failure reads the same.
        setError(error,
                 describe(QStringLiteral("cannot create a temporary file in"), directory, errno));
        return false;
    }
    const QByteArray temporaryName = QFile::encodeName(temporary);
    const auto fail = [&](const QString& what, int code) {
        setError(error, describe(what, target, code));
        if (fd >= 0) {
            ::close(fd);
        }
        ::unlink(temporaryName.constData());
        return false;
    };

    if (!writeAll(fd, content)) {
        return fail(QStringLiteral("cannot write"), errno);
    }
    if (::fsync(fd) != 0) {
        return fail(QStringLiteral("cannot flush"), errno);
    }
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        return fail(QStringLiteral("cannot close"), errno);
    }
    if (::rename(temporaryName.constData(), QFile::encodeName(target).constData()) != 0) {
        const int code = errno;
        ::unlink(temporaryName.constData());
        setError(error, describe(QStringLiteral("cannot replace"), target, code));
        return false;
    }

    // The rename itself is only durable once the directory is flushed too. Some file systems
    // cannot flush a directory (EINVAL); the rename has still happened there.
    const int directoryFd =
        ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directoryFd >= 0) {
        const int flushed = ::fsync(directoryFd);
        const int code = errno;
        ::close(directoryFd);
        if (flushed != 0 && code != EINVAL) {
            setError(error, describe(QStringLiteral("cannot flush directory"), directory, code));
            return false;
        }
    }
    return true;
}

bool AtomicFile::isTemporaryFor(const QString& fileName, const QString& target) {
    return fileName.startsWith(temporaryPrefix(target));
}

}  // namespace klosia
