#pragma once

#include <QString>
#include <QStringList>

namespace klosia {

// What a command line runs, as far as telling programs apart needs it: the Exec value of a
// desktop entry on one side, /proc/PID/cmdline on the other.
class ExecCommand {
public:
    // The arguments of a desktop-entry Exec value (already unescaped as a key-file string):
    // quoting resolved, field codes (%f, %U, %i, ...) dropped, "%%" turned into "%", and a
    // leading `env` with its options and VAR=value assignments removed, so the first element
    // is the program that really runs. Empty when the value cannot be split.
    static QStringList fromExec(const QString& exec);

    // Whether `program` (a path or a name) is an interpreter or a runtime whose own path says
    // nothing about the application: python3.11, sh, bash, perl, java, node, gjs and the like.
    // Version suffixes are ignored ("python3.11" and "lua5.4" count).
    static bool isInterpreter(const QString& program);

    // Whether `program` only hands the work to something else (flatpak, xdg-open, gtk-launch):
    // its path identifies no application either.
    static bool isLauncher(const QString& program);

    // What the interpreter of `argv` (argv[0]) runs: the first argument that is not an
    // option, the module of "-m", the archive of "-jar". Empty when the code is given inline
    // or there is no such argument. Which option gives inline code depends on the interpreter:
    // "-c" for shells and Python (also in a cluster such as "-ec"), "-e" for Perl, Ruby, Node
    // and Lua; a shell's "-e" is errexit and Python's "-E" an ordinary option.
    static QString scriptArgument(const QStringList& argv);

    // The last path component ("/usr/bin/gedit" -> "gedit").
    static QString baseName(const QString& path);
};

}  // namespace klosia
