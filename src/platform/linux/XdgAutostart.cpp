#include "platform/linux/XdgAutostart.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

#include "core/AppInfo.h"
#include "log/Vezizur.h"
#include "platform/linux/AtomicFile.h"
#include "platform/linux/XdgPaths.h"

namespace klosia {

namespace {

const QString kMainGroup = QStringLiteral("Desktop Entry");
// An autostart entry is a few hundred bytes; anything huge is not one.
constexpr qint64 kMaxEntrySize = qint64{1024} * 1024;

// Characters that the Exec rules allow in an argument only inside double quotes.
bool needsQuotes(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    if (argument.isEmpty()) {
        return true;
    }
    for (const QChar c : argument) {
        if (reserved.contains(c)) {
            return true;
        }
    }
    return false;
}

QString quoteArgument(const QString& argument) {
    if (!needsQuotes(argument)) {
        return argument;
    }
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

// The escapes of a desktop-entry string value, applied after the Exec quoting.
QString escapeString(const QString& text) {
    QString escaped;
    for (const QChar c : text) {
        switch (c.unicode()) {
            case '\\':
                escaped += QStringLiteral("\\\\");
                break;
            case '\n':
                escaped += QStringLiteral("\\n");
                break;
            case '\t':
                escaped += QStringLiteral("\\t");
                break;
            case '\r':
                escaped += QStringLiteral("\\r");
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

struct ParsedEntry {
    std::map<QString, QString> keys;  // of the [Desktop Entry] group
    QString problem;                  // non-empty: not a valid desktop entry
};

// A deliberately strict reader: blank lines, "#" comments, "[Group]" headers and "Key=Value"
// lines (space around "=" allowed); anything else makes the entry invalid. The first group must
// be [Desktop Entry]. Later duplicates of a key win, as in common desktop-entry readers.
ParsedEntry parseEntry(const QByteArray& bytes) {
    ParsedEntry entry;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        entry.problem = QStringLiteral("not UTF-8");
        return entry;
    }
    static const QRegularExpression keyPattern(
        QStringLiteral("^[A-Za-z0-9-]+(\\[[^\\[\\]]+\\])?$"));
    QString group;
    QStringList seenGroups;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype number = 0; number < lines.size(); ++number) {
        const QString line = lines[number].trimmed();
        const auto fail = [&](const QString& why) {
            entry.problem = QStringLiteral("line %1: %2").arg(number + 1).arg(why);
            return entry;
        };
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (line.startsWith(QLatin1Char('['))) {
            const QString name = line.mid(1, line.size() - 2);
            if (!line.endsWith(QLatin1Char(']')) || name.isEmpty() ||
                name.contains(QLatin1Char('[')) || name.contains(QLatin1Char(']'))) {
                return fail(QStringLiteral("malformed group header"));
            }
            if (seenGroups.isEmpty() && name != kMainGroup) {
                return fail(QStringLiteral("first group is not [%1]").arg(kMainGroup));
            }
            if (seenGroups.contains(name)) {
                return fail(QStringLiteral("group [%1] appears twice").arg(name));
            }
            seenGroups.append(name);
            group = name;
            continue;
        }
        if (group.isEmpty()) {
            return fail(QStringLiteral("entry before any group"));
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals < 0) {
            return fail(QStringLiteral("neither a key nor a group"));
        }
        const QString key = line.left(equals).trimmed();
        if (!keyPattern.match(key).hasMatch()) {
            return fail(QStringLiteral("invalid key \"%1\"").arg(key));
        }
        if (group == kMainGroup) {
            entry.keys[key] = line.mid(equals + 1).trimmed();
        }
    }
    if (seenGroups.isEmpty()) {
        entry.problem = QStringLiteral("no [%1] group").arg(kMainGroup);
    }
    return entry;
}

}  // namespace

XdgAutostart::XdgAutostart(QString directory, QStringList command)
    : directory_(std::move(directory)), command_(std::move(command)) {}

QString XdgAutostart::defaultDirectory() {
    return XdgPaths::configHome() + QStringLiteral("/autostart");
}

QStringList XdgAutostart::defaultCommand() {
    if (QCoreApplication::instance() != nullptr) {
        const QString path = QCoreApplication::applicationFilePath();
        if (!path.isEmpty()) {
            return {path};
        }
    }
    const QString running = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!running.isEmpty()) {
        return {running};
    }
    // Found through PATH by the session at login.
    return {QLatin1String(appinfo::kExecutable)};
}

QString XdgAutostart::execValue(const QStringList& command) {
    QStringList arguments = command;
    if (!arguments.isEmpty() && arguments.first().contains(QLatin1Char('%'))) {
        // The shell gets the path as an argument, where the "%%" is expanded before it runs.
        arguments.prepend(QStringLiteral("exec \"$0\" \"$@\""));
        arguments.prepend(QStringLiteral("-c"));
        arguments.prepend(QStringLiteral("/bin/sh"));
    }
    QStringList quoted;
    for (const QString& argument : arguments) {
        quoted.append(quoteArgument(argument));
    }
    QString value = escapeString(quoted.join(QLatin1Char(' ')));
    return value.replace(QLatin1Char('%'), QStringLiteral("%%"));
}

QString XdgAutostart::entryPath() const {
    return directory_ + QLatin1Char('/') + QLatin1String(appinfo::kApplicationId) +
           QStringLiteral(".desktop");
}

QByteArray XdgAutostart::entryContent() const {
    const QString text = QStringLiteral(
                             "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Version=1.5\n"
                             "Name=%1\n"
                             "Comment=Quit other applications from the tray\n"
                             "Exec=%2\n"
                             "Icon=%3\n"
                             "Terminal=false\n"
                             "StartupNotify=false\n"
                             "X-GNOME-Autostart-enabled=true\n")
                             .arg(QLatin1String(appinfo::kName), execValue(command_),
                                  QLatin1String(appinfo::kApplicationId));
    return text.toUtf8();
}

bool XdgAutostart::isEnabled() const {
    const QString path = entryPath();
    QFile file(path);
    if (!file.exists()) {
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        logger.log(QStringLiteral("cannot read autostart entry %1 (%2); treating start at login "
                                  "as off")
                       .arg(path, file.errorString()),
                   VezizurLevel::warning);
        return false;
    }
    const QByteArray bytes = file.read(kMaxEntrySize + 1);
    const ParsedEntry entry = bytes.size() > kMaxEntrySize
                                  ? ParsedEntry{{}, QStringLiteral("too large")}
                                  : parseEntry(bytes);
    if (!entry.problem.isEmpty()) {
        logger.log(QStringLiteral("autostart entry %1 is not a valid desktop entry (%2); "
                                  "treating start at login as off")
                       .arg(path, entry.problem),
                   VezizurLevel::warning);
        return false;
    }
    const auto value = [&entry](const char* key) {
        const auto it = entry.keys.find(QLatin1String(key));
        return it == entry.keys.end() ? QString() : it->second;
    };
    return value("Hidden") != QLatin1String("true") &&
           value("X-GNOME-Autostart-enabled") != QLatin1String("false");
}

void XdgAutostart::setEnabled(bool enabled) {
    const QString path = entryPath();
    if (enabled) {
        QString error;
        if (AtomicFile::write(path, entryContent(), 0644, &error)) {
            logger.log(QStringLiteral("start at login on: wrote %1").arg(path), VezizurLevel::info);
        } else {
            logger.log(QStringLiteral("cannot turn start at login on (%1)").arg(error),
                       VezizurLevel::error);
        }
        return;
    }
    if (::unlink(QFile::encodeName(path).constData()) == 0) {
        logger.log(QStringLiteral("start at login off: removed %1").arg(path), VezizurLevel::info);
    } else if (errno != ENOENT && errno != ENOTDIR) {
        logger.log(QStringLiteral("cannot turn start at login off: removing %1 failed (%2)")
                       .arg(path, QString::fromLocal8Bit(std::strerror(errno))),
                   VezizurLevel::error);
    }
}

}  // namespace klosia
