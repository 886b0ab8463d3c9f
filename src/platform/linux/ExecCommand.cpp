#include "platform/linux/ExecCommand.h"

#include <glib.h>

#include <QSet>

namespace klosia {

namespace {

// Programs that run someone else's code: their own path is shared by every application they
// run, so it never identifies one.
const QSet<QString>& interpreters() {
    static const QSet<QString> names = {
        QStringLiteral("python"), QStringLiteral("pypy"),     QStringLiteral("perl"),
        QStringLiteral("ruby"),   QStringLiteral("sh"),       QStringLiteral("bash"),
        QStringLiteral("dash"),   QStringLiteral("zsh"),      QStringLiteral("ksh"),
        QStringLiteral("mksh"),   QStringLiteral("fish"),     QStringLiteral("csh"),
        QStringLiteral("tcsh"),   QStringLiteral("java"),     QStringLiteral("node"),
        QStringLiteral("nodejs"), QStringLiteral("gjs"),      QStringLiteral("gjs-console"),
        QStringLiteral("lua"),    QStringLiteral("luajit"),   QStringLiteral("php"),
        QStringLiteral("tclsh"),  QStringLiteral("wish"),     QStringLiteral("mono"),
        QStringLiteral("dotnet"), QStringLiteral("electron"), QStringLiteral("rscript"),
        QStringLiteral("guile"),  QStringLiteral("racket"),   QStringLiteral("qmlscene"),
        QStringLiteral("qml"),    QStringLiteral("wine"),     QStringLiteral("wine64"),
        QStringLiteral("osh"),    QStringLiteral("busybox"),
    };
    return names;
}

const QSet<QString>& launchers() {
    static const QSet<QString> names = {
        QStringLiteral("flatpak"),    QStringLiteral("snap"),        QStringLiteral("xdg-open"),
        QStringLiteral("gtk-launch"), QStringLiteral("gtk4-launch"), QStringLiteral("gio"),
        QStringLiteral("kioclient"),  QStringLiteral("kioclient5"),  QStringLiteral("kioclient6"),
        QStringLiteral("kde-open"),   QStringLiteral("kde-open5"),   QStringLiteral("exo-open"),
        QStringLiteral("gnome-open"), QStringLiteral("gvfs-open"),   QStringLiteral("pkexec"),
        QStringLiteral("sudo"),       QStringLiteral("gksu"),        QStringLiteral("gksudo"),
        QStringLiteral("kdesu"),      QStringLiteral("env"),
    };
    return names;
}

// "python3.11" -> "python", "luajit-2.1" -> "luajit".
QString withoutVersion(QString name) {
    qsizetype end = name.size();
    while (end > 0 &&
           (name.at(end - 1).isDigit() || name.at(end - 1) == QLatin1Char('.') ||
            name.at(end - 1) == QLatin1Char('-') || name.at(end - 1) == QLatin1Char('_'))) {
        --end;
    }
    name.truncate(end);
    return name;
}

bool isAssignment(const QString& argument) {
    const qsizetype equals = argument.indexOf(QLatin1Char('='));
    if (equals <= 0) {
        return false;
    }
    for (qsizetype i = 0; i < equals; ++i) {
        const QChar c = argument.at(i);
        const bool letter = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                            (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                            c == QLatin1Char('_');
        if (!letter && !(i > 0 && c.isDigit())) {
            return false;
        }
    }
    return true;
}

// Field codes stand for files and URLs the launcher adds; none of them names the program.
QString withoutFieldCodes(const QString& argument) {
    if (!argument.contains(QLatin1Char('%'))) {
        return argument;
    }
    QString result;
    for (qsizetype i = 0; i < argument.size(); ++i) {
        const QChar c = argument.at(i);
        if (c != QLatin1Char('%')) {
            result += c;
        } else if (i + 1 < argument.size() && argument.at(i + 1) == QLatin1Char('%')) {
            result += c;
            ++i;
        } else {
            ++i;  // the code letter goes with it
        }
    }
    return result;
}

// `env [-i] [-u NAME] [-C DIR] [-S "PROGRAM ARGS"] [NAME=VALUE]... PROGRAM ARGS`, possibly
// nested, and bare assignments in front of the program (invalid in Exec, found anyway).
QStringList withoutEnvironment(QStringList args) {
    qsizetype i = 0;
    while (i < args.size()) {
        if (isAssignment(args.at(i))) {
            ++i;
            continue;
        }
        if (ExecCommand::baseName(args.at(i)) != QLatin1String("env")) {
            break;
        }
        ++i;
        while (i < args.size()) {
            const QString& option = args.at(i);
            if (option == QLatin1String("-u") || option == QLatin1String("--unset") ||
                option == QLatin1String("-C") || option == QLatin1String("--chdir")) {
                i += 2;
            } else if (option == QLatin1String("-S") || option == QLatin1String("--split-string")) {
                if (i + 1 >= args.size()) {
                    return {};
                }
                const QStringList split =
                    args.at(i + 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
                args.remove(i, 2);
                for (qsizetype k = 0; k < split.size(); ++k) {
                    args.insert(i + k, split.at(k));
                }
            } else if (option == QLatin1String("--")) {
                ++i;
                break;
            } else if (option.startsWith(QLatin1Char('-')) || isAssignment(option)) {
                ++i;
            } else {
                break;
            }
        }
    }
    return args.mid(i);
}

// How an interpreter's command line says "run this code" instead of "run this file". The same
// letter means different things to different programs: `sh -e` is errexit, `perl -e` is code.
enum class Family { shell, python, perl, ruby, node, lua, php, guile, gjs, other };

struct InterpreterSyntax {
    Family family = Family::other;
    // Letters that, alone or in a cluster of single-letter options ("-ec"), give inline code.
    QLatin1String inlineLetters;
};

InterpreterSyntax syntaxOf(const QString& program) {
    const QString name = withoutVersion(ExecCommand::baseName(program).toLower());
    static const QSet<QString> shells = {
        QStringLiteral("sh"),   QStringLiteral("bash"), QStringLiteral("dash"),
        QStringLiteral("zsh"),  QStringLiteral("ksh"),  QStringLiteral("mksh"),
        QStringLiteral("fish"), QStringLiteral("csh"),  QStringLiteral("tcsh"),
        QStringLiteral("osh"),
    };
    if (shells.contains(name)) {
        return {Family::shell, QLatin1String("c")};
    }
    if (name == QLatin1String("python") || name == QLatin1String("pypy")) {
        return {Family::python, QLatin1String("c")};
    }
    if (name == QLatin1String("perl")) {
        return {Family::perl, QLatin1String("eE")};
    }
    if (name == QLatin1String("ruby")) {
        return {Family::ruby, QLatin1String("e")};
    }
    if (name == QLatin1String("node") || name == QLatin1String("nodejs")) {
        return {Family::node, QLatin1String("ep")};
    }
    if (name == QLatin1String("lua") || name == QLatin1String("luajit")) {
        return {Family::lua, QLatin1String("e")};
    }
    if (name == QLatin1String("php")) {
        return {Family::php, QLatin1String("r")};
    }
    if (name == QLatin1String("guile")) {
        return {Family::guile, QLatin1String("c")};
    }
    if (name == QLatin1String("gjs") || name == QLatin1String("gjs-console")) {
        return {Family::gjs, QLatin1String("c")};
    }
    return {Family::other, QLatin1String("ce")};
}

bool givesInlineCode(const InterpreterSyntax& syntax, const QString& argument) {
    if (argument == QLatin1String("--eval") || argument == QLatin1String("--command") ||
        (syntax.family == Family::node && argument == QLatin1String("--print"))) {
        return true;
    }
    if (argument.size() < 2 || argument.at(0) != QLatin1Char('-') ||
        argument.at(1) == QLatin1Char('-')) {
        return false;
    }
    // Clusters of single letters are a shell's, Python's, Perl's and Ruby's habit; the others
    // take their code option alone.
    const bool clusters = syntax.family == Family::shell || syntax.family == Family::python ||
                          syntax.family == Family::perl || syntax.family == Family::ruby;
    if (!clusters) {
        return argument.size() == 2 && syntax.inlineLetters.contains(argument.at(1));
    }
    for (qsizetype i = 1; i < argument.size(); ++i) {
        if (!argument.at(i).isLetter()) {
            return false;  // "-W" "ignore" style values are not clusters
        }
        if (syntax.inlineLetters.contains(argument.at(i))) {
            return true;
        }
    }
    return false;
}

bool takesValue(const InterpreterSyntax& syntax, const QString& argument) {
    static const QSet<QString> common = {
        QStringLiteral("-cp"),          QStringLiteral("-classpath"),
        QStringLiteral("--class-path"), QStringLiteral("--module-path"),
        QStringLiteral("-W"),           QStringLiteral("-X"),
    };
    if (common.contains(argument)) {
        return true;
    }
    switch (syntax.family) {
        case Family::shell:
            return argument == QLatin1String("-o") || argument == QLatin1String("+o") ||
                   argument == QLatin1String("-O") || argument == QLatin1String("+O") ||
                   argument == QLatin1String("--rcfile") ||
                   argument == QLatin1String("--init-file");
        case Family::node:
            return argument == QLatin1String("-r") || argument == QLatin1String("--require");
        case Family::lua:
            return argument == QLatin1String("-l");
        case Family::php:
            return argument == QLatin1String("-c") || argument == QLatin1String("-d");
        case Family::ruby:
            return argument == QLatin1String("-I") || argument == QLatin1String("-r");
        case Family::gjs:
            return argument == QLatin1String("-I") || argument == QLatin1String("--include-path");
        default:
            return false;
    }
}

}  // namespace

QString ExecCommand::baseName(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QStringList ExecCommand::fromExec(const QString& exec) {
    const QByteArray utf8 = exec.trimmed().toUtf8();
    if (utf8.isEmpty()) {
        return {};
    }
    gint argc = 0;
    gchar** argv = nullptr;
    if (g_shell_parse_argv(utf8.constData(), &argc, &argv, nullptr) == FALSE) {
        return {};
    }
    QStringList args;
    for (gint i = 0; i < argc; ++i) {
        const QString argument = withoutFieldCodes(QString::fromUtf8(argv[i]));
        if (!argument.isEmpty()) {
            args.append(argument);
        }
    }
    g_strfreev(argv);
    return withoutEnvironment(args);
}

bool ExecCommand::isInterpreter(const QString& program) {
    const QString name = baseName(program).toLower();
    return !name.isEmpty() &&
           (interpreters().contains(name) || interpreters().contains(withoutVersion(name)));
}

bool ExecCommand::isLauncher(const QString& program) {
    return launchers().contains(baseName(program).toLower());
}

QString ExecCommand::scriptArgument(const QStringList& argv) {
    if (argv.isEmpty()) {
        return {};
    }
    const InterpreterSyntax syntax = syntaxOf(argv.first());
    for (qsizetype i = 1; i < argv.size(); ++i) {
        const QString& argument = argv.at(i);
        if (argument == QLatin1String("-") || givesInlineCode(syntax, argument)) {
            return {};
        }
        if (argument == QLatin1String("--") || argument == QLatin1String("-m") ||
            argument == QLatin1String("-jar") ||
            (syntax.family == Family::php && argument == QLatin1String("-f"))) {
            return i + 1 < argv.size() ? argv.at(i + 1) : QString();
        }
        if (takesValue(syntax, argument)) {
            ++i;  // its value is not the script
            continue;
        }
        if (argument.startsWith(QLatin1Char('-')) ||
            (syntax.family == Family::shell && argument.startsWith(QLatin1Char('+')))) {
            continue;
        }
        return argument;
    }
    return {};
}

}  // namespace klosia
