#include "app/CommandLine.h"

#include "core/AppInfo.h"

namespace klosia {

CommandLine CommandLine::parse(const QStringList& arguments) {
    CommandLine result;
    // Qt's own options (-platform, -display, ...) are handled by QApplication later, so only
    // arguments of ours are looked at; anything else that looks like an option is an error.
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
        result.action = Action::error;
        result.error = argument.startsWith(QLatin1Char('-'))
                           ? QStringLiteral("unknown option '%1'").arg(argument)
                           : QStringLiteral("unexpected argument '%1'").arg(argument);
        return result;
    }
    return result;
}

QString CommandLine::helpText() {
    return QStringLiteral(
               "Usage: %1 [OPTION]\n"
               "Quits other applications from a menu in the system tray.\n"
               "\n"
               "Without an option, %2 starts in the tray of the current X11 desktop.\n"
               "\n"
               "Options:\n"
               "  -h, --help       show this help and exit\n"
               "  -v, --version    show the version and exit\n")
        .arg(QLatin1String(appinfo::kExecutable), QLatin1String(appinfo::kName));
}

QString CommandLine::versionText() {
    return QStringLiteral("%1 %2\n").arg(QLatin1String(appinfo::kName),
                                         QLatin1String(appinfo::kVersion));
}

}  // namespace klosia
