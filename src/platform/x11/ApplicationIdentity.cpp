#include "platform/x11/ApplicationIdentity.h"

#include <QFileInfo>

#include "platform/linux/DesktopEntries.h"
#include "platform/x11/WindowRecord.h"

namespace klosia {

namespace {

QString programName(const QString& exePath) {
    QString path = exePath;
    const QString deleted = QStringLiteral(" (deleted)");
    if (path.endsWith(deleted)) {
        path.chop(deleted.size());
    }
    return QFileInfo(path).fileName();
}

}  // namespace

ApplicationIdentity identifyApplication(const DesktopEntries& entries, const WindowRecord* window,
                                        const QString& exePath, const QStringList& cmdline) {
    WindowIdentityHints hints;
    if (window != nullptr) {
        hints.gtkApplicationId = window->gtkApplicationId;
        hints.kdeDesktopFile = window->kdeDesktopFile;
        hints.wmInstance = window->wmInstance;
        hints.wmClass = window->wmClass;
    }
    hints.exePath = exePath;
    hints.cmdline = cmdline;

    ApplicationIdentity identity;
    const QString program = programName(exePath);
    const QString windowClass = window != nullptr ? window->wmClass.trimmed() : QString();
    const QString title = window != nullptr ? window->title.trimmed() : QString();
    if (const auto entry = entries.match(hints)) {
        identity.bundleIdentifier = entry->id;
        identity.name = entry->name;
        identity.iconName = entry->iconName;
        identity.fromDesktopEntry = true;
    } else {
        // Without a class there is nothing stable but the program file: a title changes with
        // every document.
        identity.bundleIdentifier = !windowClass.isEmpty() ? windowClass : program;
    }
    if (identity.name.isEmpty()) {
        identity.name = !windowClass.isEmpty() ? windowClass : !title.isEmpty() ? title : program;
    }
    return identity;
}

}  // namespace klosia
