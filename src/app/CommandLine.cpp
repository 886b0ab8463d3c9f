#include "app/CommandLine.h"

#include "core/AppInfo.h"

namespace klosia {

namespace {

CommandLine failure(const QString& message) {
    CommandLine result;
    result.action = CommandLine::Action::error;
    result.error = message;
    return result;
}

}  // namespace

CommandLine CommandLine::parse(const QStringList& arguments) {
    CommandLine result;
    bool list = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            result.action = Action::help;
            return result;
        }
        if (argument == QLatin1String("--version") || argument == QLatin1String("-v")) {
            result.action = Action::version;
            return result;
        }
        if (argument == QLatin1String("--list")) {
            list = true;
        } else if (argument == QLatin1String("--json")) {
            result.json = true;
        } else if (argument == QLatin1String("--background")) {
            result.background = true;
        } else if (argument == QLatin1String("--preferences")) {
            result.preferences = true;
        } else if (argument.startsWith(QLatin1Char('-'))) {
            return failure(QStringLiteral("unknown option '%1'").arg(argument));
        } else {
            return failure(QStringLiteral("unexpected argument '%1'").arg(argument));
        }
    }
    if (!list && (result.json || result.background)) {
        return failure(
            QStringLiteral("%1 only goes with --list")
                .arg(result.json ? QStringLiteral("--json") : QStringLiteral("--background")));
    }
    if (list && result.preferences) {
        return failure(QStringLiteral("--preferences does not go with --list"));
    }
    if (list) {
        result.action = Action::list;
    }
    return result;
}

QString CommandLine::helpText() {
    return QStringLiteral(
               "Usage: %1 [OPTION]...\n"
               "Quits other applications from a menu in the system tray.\n"
               "\n"
               "Without an option, %2 starts in the tray of the current X11 desktop.\n"
               "\n"
               "Options:\n"
               "  --preferences    show the preferences window (of the running %2, if any)\n"
               "  --list           print the applications the menu would list, then exit\n"
               "  --json           with --list: print them as a JSON array\n"
               "  --background     with --list: include background applications\n"
               "  -h, --help       show this help and exit\n"
               "  -v, --version    show the version and exit\n")
        .arg(QLatin1String(appinfo::kExecutable), QLatin1String(appinfo::kName));
}

QString CommandLine::versionText() {
    return QStringLiteral("%1 %2\n").arg(QLatin1String(appinfo::kName),
                                         QLatin1String(appinfo::kVersion));
}

}  // namespace klosia
