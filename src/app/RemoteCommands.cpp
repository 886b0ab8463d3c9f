#include "app/RemoteCommands.h"

#include <QStringList>

#include <utility>
#include <vector>

#include "log/Vezizur.h"
#include "model/QuitEngine.h"
#include "model/QuitTargets.h"
#include "platform/Workspace.h"

namespace klosia {

RemoteCommands::RemoteCommands(Workspace& workspace, ToggleMenu toggleMenu, QuitAll quitAll)
    : workspace_(workspace), toggleMenu_(std::move(toggleMenu)), quitAll_(std::move(quitAll)) {}

QString RemoteCommands::run(const QString& name, const QString& argument) {
    logger.log(
        ("command: " + name + (argument.isEmpty() ? QString() : ' ' + argument)).toStdString(),
        VezizurLevel::info);
    if (name == QLatin1String("toggle-menu")) {
        if (argument.isEmpty()) {
            toggleMenu_(std::nullopt);
            return {};
        }
        const QStringList coordinates = argument.split(QLatin1Char(','));
        bool xRead = false;
        bool yRead = false;
        const int x = coordinates.size() == 2 ? coordinates[0].trimmed().toInt(&xRead) : 0;
        const int y = coordinates.size() == 2 ? coordinates[1].trimmed().toInt(&yRead) : 0;
        if (!xRead || !yRead) {
            return QStringLiteral("'%1' is not a point X,Y").arg(argument);
        }
        toggleMenu_(QPoint(x, y));
        return {};
    }
    if ((name == QLatin1String("quit-all") || name == QLatin1String("force-quit-all")) &&
        argument.isEmpty()) {
        quitAll_(name == QLatin1String("force-quit-all"));
        return {};
    }
    if (name == QLatin1String("quit") || name == QLatin1String("force-quit")) {
        return quitApplication(argument, name == QLatin1String("force-quit"));
    }
    return QStringLiteral("unknown command '%1'").arg(name);
}

QString RemoteCommands::quitApplication(const QString& identifier, bool force) {
    if (!workspace_.unavailableReason().isEmpty()) {
        return workspace_.unavailableReason();
    }
    // Every process listed under the identifier: an application may run more than once, and
    // its helpers carry its identifier too.
    std::vector<RunningApplicationPtr> targets;
    for (const RunningApplicationPtr& app : workspace_.runningApplications()) {
        if (app && !app->isTerminated() && app->bundleIdentifier() == identifier) {
            targets.push_back(app);
        }
    }
    if (targets.empty() || identifier.isEmpty()) {
        return QStringLiteral("no application has the identifier '%1'").arg(identifier);
    }
    if (force) {
        for (const RunningApplicationPtr& app : targets) {
            QuitEngine::forceTerminate(app, {});
        }
    } else {
        // Helpers go with their application, as from the menu.
        for (const RunningApplicationPtr& app : politeQuitTargets(targets)) {
            QuitEngine::terminate(app, {});
        }
    }
    return {};
}

}  // namespace klosia
