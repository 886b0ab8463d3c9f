#pragma once

#include <QString>
#include <QStringList>

namespace klosia {

// What the command line asks for. Parsed (by QCommandLineParser) without a QCoreApplication, so
// --help and --version work where no display is available. Any option or argument not understood
// makes it an error, even beside --help.
struct CommandLine {
    enum class Action { run, list, command, help, version, error };

    Action action = Action::run;
    bool json = false;         // --list: print a JSON array instead of a table
    bool background = false;   // --list: include background applications
    bool preferences = false;  // run: show the preferences window (of the running instance)
    // For Action::command, what the running instance is asked: "toggle-menu", "quit-all",
    // "force-quit-all", "quit" or "force-quit" (those two with the identifier in `target`).
    QString command;
    QString target;
    QString error;  // for Action::error: the message to print

    static CommandLine parse(const QStringList& arguments);
    static QString helpText();
    static QString versionText();
};

}  // namespace klosia
