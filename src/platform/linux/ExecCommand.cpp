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
    for (qsizetype i = 1; i < argv.size(); ++i) {
        const QString& argument = argv.at(i);
        if (argument == QLatin1String("-c") || argument == QLatin1String("-e") ||
            argument == QLatin1String("-E") || argument == QLatin1String("--eval") ||
            argument == QLatin1String("-")) {
            return {};
        }
        if (argument == QLatin1String("-m") || argument == QLatin1String("-jar") ||
            argument == QLatin1String("--")) {
            return i + 1 < argv.size() ? argv.at(i + 1) : QString();
        }
        if (argument == QLatin1String("-cp") || argument == QLatin1String("-classpath") ||
            argument == QLatin1String("--class-path") ||
            argument == QLatin1String("--module-path") || argument == QLatin1String("-W") ||
            argument == QLatin1String("-X") || argument == QLatin1String("-o")) {
            ++i;  // its value is not the script
            continue;
        }
        if (argument.startsWith(QLatin1Char('-'))) {
            continue;
        }
        return argument;
    }
    return {};
}

}  // namespace klosia
