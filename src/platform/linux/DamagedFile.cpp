#include "platform/linux/DamagedFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace klosia {

namespace {

// Renames `from` to `to` unless `to` exists. False with errno set otherwise.
bool renameNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // The file system cannot refuse to replace; check first instead.
    if (::access(to.constData(), F_OK) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

}  // namespace

bool DamagedFile::moveAside(const QString& path, QString& aside, QString& error) {
    const QByteArray from = QFile::encodeName(path);
    const QString base = path + QStringLiteral(".damaged-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    aside = base;
    int code = 0;
    for (int n = 1; n <= 1000; ++n) {
        if (renameNoReplace(from, QFile::encodeName(aside))) {
            return true;
        }
        code = errno;
        if (code != EEXIST) {
            break;
        }
        aside = base + QStringLiteral("-%1").arg(n);
    }
    error = QString::fromLocal8Bit(std::strerror(code));
    return false;
}

}  // namespace klosia
