#include "platform/linux/DesktopNotificationSettings.h"

#include <QProcess>
#include <QStandardPaths>

#include <array>

#include "log/Vezizur.h"

namespace klosia {

namespace {

struct Candidate {
    const char* desktop;  // an XDG_CURRENT_DESKTOP entry, compared without case
    const char* program;
    const char* argument;  // nullptr: none
};

// Per desktop, in order of preference: the first installed program wins. Plasma's program
// names changed between releases, so each of them is tried.
constexpr std::array kCandidates{
    Candidate{"GNOME", "gnome-control-center", "notifications"},
    Candidate{"KDE", "systemsettings", "kcm_notifications"},
    Candidate{"KDE", "systemsettings5", "kcm_notifications"},
    Candidate{"KDE", "kcmshell6", "kcm_notifications"},
    Candidate{"KDE", "kcmshell5", "kcm_notifications"},
    Candidate{"XFCE", "xfce4-notifyd-config", nullptr},
};

}  // namespace

QStringList DesktopNotificationSettings::command(const QString& currentDesktop,
                                                 const ProgramFinder& find) {
    const QStringList desktops = currentDesktop.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& desktop : desktops) {
        for (const Candidate& candidate : kCandidates) {
            if (desktop.trimmed().compare(QLatin1String(candidate.desktop), Qt::CaseInsensitive) !=
                0) {
                continue;
            }
            const QString path = find(QLatin1String(candidate.program));
            if (path.isEmpty()) {
                continue;
            }
            QStringList result{path};
            if (candidate.argument != nullptr) {
                result << QLatin1String(candidate.argument);
            }
            return result;
        }
    }
    return {};
}

bool DesktopNotificationSettings::open() {
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    const QStringList argv =
        command(desktop, [](const QString& name) { return QStandardPaths::findExecutable(name); });
    if (argv.isEmpty()) {
        logger.log("no notification settings are known for the desktop \"" + desktop + "\"",
                   VezizurLevel::info);
        return false;
    }
    const QString& program = argv.constFirst();
    if (!QProcess::startDetached(program, argv.mid(1))) {
        logger.log("could not start " + program + " for the notification settings",
                   VezizurLevel::error);
        return false;
    }
    logger.log("opened the notification settings with " + argv.join(QLatin1Char(' ')),
               VezizurLevel::info);
    return true;
}

}  // namespace klosia
