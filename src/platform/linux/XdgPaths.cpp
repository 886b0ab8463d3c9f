#include "platform/linux/XdgPaths.h"

#include <pwd.h>
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

}  // namespace klosia
