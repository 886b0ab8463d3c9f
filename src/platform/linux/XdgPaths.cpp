#include "platform/linux/XdgPaths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

namespace klosia {

QString XdgPaths::home() {
    const QByteArray fromEnvironment = qgetenv("HOME");
    if (!fromEnvironment.isEmpty()) {
        return QFile::decodeName(fromEnvironment);
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return QFile::decodeName(entry->pw_dir);
    }
    return QDir::rootPath();
}

QString XdgPaths::configHome() {
    const QString fromEnvironment = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (!fromEnvironment.isEmpty() && QDir::isAbsolutePath(fromEnvironment)) {
        return QDir::cleanPath(fromEnvironment);
    }
    return QDir::cleanPath(home() + QStringLiteral("/.config"));
}

QString XdgPaths::runtimeDir() {
    const QString fromEnvironment = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (!fromEnvironment.isEmpty() && QDir::isAbsolutePath(fromEnvironment)) {
        return QDir::cleanPath(fromEnvironment);
    }
    // Another user may create the name first in a shared directory: accept it only when it is a
    // real directory of ours that nobody else can enter.
    QString path = QDir::tempPath() + QStringLiteral("/klosia-runtime-%1").arg(::getuid());
    const QByteArray encoded = QFile::encodeName(path);
    ::mkdir(encoded.constData(), 0700);
    struct stat info {};
    if (::lstat(encoded.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid() || (info.st_mode & 0077) != 0) {
        return {};
    }
    return path;
}

}  // namespace klosia
