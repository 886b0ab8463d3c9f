#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption list(QStringLiteral("list"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption background(QStringLiteral("background"));
    const QCommandLineOption preferences(QStringLiteral("preferences"));
    const QCommandLineOption toggleMenu(QStringLiteral("toggle-menu"));
    const QCommandLineOption quitAll(QStringLiteral("quit-all"));
    const QCommandLineOption forceQuitAll(QStringLiteral("force-quit-all"));
    const QCommandLineOption quit(QStringLiteral("quit"), QString(), QStringLiteral("ID"));
    const QCommandLineOption forceQuit(QStringLiteral("force-quit"), QString(),
                                       QStringLiteral("ID"));
    parser.addOptions({help, version, list, json, background, preferences, toggleMenu, quitAll,
                       forceQuitAll, quit, forceQuit});

    // An argument not understood is an error even next to --help: what was meant is unclear.
    const bool parsed = parser.parse(arguments);
    if (const QStringList unknown = parser.unknownOptionNames(); !unknown.isEmpty()) {
        const QString& name = unknown.first();
        return failure(
            QCoreApplication::translate("klosia::CommandLine", "unknown option '%1%2'")
                .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
    }
    if (!parsed) {
        // A value given to an option that takes none ("--list=3"), in the style of the others.
        QString text = parser.errorText();
        if (text.endsWith(QLatin1Char('.'))) {
            text.chop(1);
        }
        return failure(text.isEmpty() ? text : text.front().toLower() + text.mid(1));
    }
    if (const QStringList stray = parser.positionalArguments(); !stray.isEmpty()) {
        return failure(
            QCoreApplication::translate("klosia::CommandLine", "unexpected argument '%1'")
                .arg(stray.first()));
    }

    CommandLine result;
    if (parser.isSet(help)) {
        result.action = Action::help;
        return result;
    }
    if (parser.isSet(version)) {
        result.action = Action::version;
        return result;
    }
    result.json = parser.isSet(json);
    result.background = parser.isSet(background);
    result.preferences = parser.isSet(preferences);
    const bool listing = parser.isSet(list);
    if (!listing && (result.json || result.background)) {
        return failure(
            QCoreApplication::translate("klosia::CommandLine", "%1 only goes with --list")
                .arg(result.json ? QStringLiteral("--json") : QStringLiteral("--background")));
    }
    if (listing && result.preferences) {
        return failure(QCoreApplication::translate("klosia::CommandLine",
                                                   "--preferences does not go with --list"));
    }
    // One command for the running instance, alone: a second one, or --list beside it, would
    // leave unclear what was meant.
    QStringList commands;
    for (const QCommandLineOption* option :
         {&toggleMenu, &quitAll, &forceQuitAll, &quit, &forceQuit}) {
        if (parser.isSet(*option)) {
            commands << option->names().first();
        }
    }
    if (!commands.isEmpty()) {
        const QString& name = commands.first();
        if (commands.size() > 1 ||
            parser.values(quit).size() + parser.values(forceQuit).size() > 1) {
            return failure(
                QCoreApplication::translate("klosia::CommandLine", "give one command at a time"));
        }
        if (listing || result.preferences || result.json || result.background) {
            return failure(
                QCoreApplication::translate("klosia::CommandLine", "--%1 does not go with %2")
                    .arg(name, listing              ? QStringLiteral("--list")
                               : result.preferences ? QStringLiteral("--preferences")
                               : result.json        ? QStringLiteral("--json")
                                                    : QStringLiteral("--background")));
        }
        result.action = Action::command;
        result.command = name;
        if (name == QLatin1String("quit") || name == QLatin1String("force-quit")) {
            result.target = parser.value(name);
            if (result.target.isEmpty()) {
                return failure(
                    QCoreApplication::translate("klosia::CommandLine", "--%1 needs an identifier")
                        .arg(name));
            }
        }
        return result;
    }
    if (listing) {
        result.action = Action::list;
    }
    return result;
}

QString CommandLine::helpText() {
    return QCoreApplication::translate(
               "klosia::CommandLine",
               "Usage: %1 [OPTION]...\n"
               "Quits other applications from a menu in the system tray.\n"
               "\n"
               "Without an option, %2 starts in the tray of the current desktop.\n"
               "\n"
               "Options:\n"
               "  --preferences      show the preferences window (of the running %2, if any)\n"
               "  --list             print the applications the menu would list, then exit\n"
               "  --json             with --list: print them as a JSON array\n"
               "  --background       with --list: include background applications\n"
               "  -h, --help         show this help and exit\n"
               "  -v, --version      show the version and exit\n"
               "\n"
               "Commands for the running %2 (to bind to keys of the desktop); each exits 0\n"
               "when it was accepted, 1 when no %2 runs or no application has the ID:\n"
               "  --toggle-menu      open its menu, or close it\n"
               "  --quit-all         quit every application with a window on the task bar\n"
               "  --force-quit-all   force quit every application with a window on the task bar\n"
               "  --quit ID          quit the application with this identifier (see --list)\n"
               "  --force-quit ID    force quit the application with this identifier\n")
        .arg(QLatin1String(appinfo::kExecutable), QLatin1String(appinfo::kName));
}

QString CommandLine::versionText() {
    return QStringLiteral("%1 %2\n").arg(QLatin1String(appinfo::kName),
                                         QLatin1String(appinfo::kVersion));
}

}  // namespace klosia
