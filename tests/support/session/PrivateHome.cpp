#include "support/session/PrivateHome.h"

#include <QDir>
#include <QFile>

#include "core/AppInfo.h"

namespace klosia::test {

namespace {

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) >= 0;
}

}  // namespace

PrivateHome::PrivateHome()
    : config_(home_.filePath(QStringLiteral("config"))),
      data_(home_.filePath(QStringLiteral("data"))),
      mailLog_(home_.filePath(QStringLiteral("mail.txt"))) {
    valid_ = home_.isValid() && QDir().mkpath(config_) &&
             QDir().mkpath(data_ + QStringLiteral("/applications")) && installMailRecorder();
}

bool PrivateHome::installMailRecorder() {
    const QString script = home_.filePath(QStringLiteral("record-mail.sh"));
    return writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + QFile::encodeName(mailLog_) +
                                 "'\n") &&
           QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
           writeFile(data_ + QStringLiteral("/applications/klosia-test-mail.desktop"),
                     "[Desktop Entry]\nType=Application\nName=Recording mail\n"
                     "NoDisplay=true\nMimeType=x-scheme-handler/mailto;\nExec=" +
                         QFile::encodeName(script) + " %u\n") &&
           writeFile(config_ + QStringLiteral("/mimeapps.list"),
                     "[Default Applications]\nx-scheme-handler/mailto=klosia-test-mail.desktop\n");
}

QString PrivateHome::settingsFile() const {
    return config_ + QLatin1Char('/') + QLatin1String(appinfo::kApplicationId) +
           QStringLiteral(".json");
}

QProcessEnvironment PrivateHome::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config_);
    environment.insert(QStringLiteral("XDG_DATA_HOME"), data_);
    return environment;
}

QString PrivateHome::recordedMail() const {
    QFile file(mailLog_);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

}  // namespace klosia::test
