#include "app/WorkspaceChoice.h"

#include <QDBusConnection>

#include "log/Vezizur.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/LaunchedApplications.h"
#include "platform/wayland/GnomeWorkspace.h"
#include "platform/wayland/WaylandWorkspace.h"
#include "platform/x11/X11Workspace.h"

namespace klosia {

namespace {

// The compositor's list of windows, with the X11 programs under Xwayland from the X side.
std::unique_ptr<WaylandWorkspace> createWaylandWorkspaceWithX11(QString* error, bool follow) {
    std::unique_ptr<Workspace> x11;
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        QString x11Error;
        x11 = createX11Workspace(&x11Error, follow ? X11Workspace::Updates::followDesktop
                                                   : X11Workspace::Updates::onCall);
        if (!x11) {
            logger.log("no X11 programs listed: " + x11Error.toStdString(), VezizurLevel::error);
        }
    }
    return createWaylandWorkspace(
        error, std::move(x11),
        follow ? WaylandWorkspace::Updates::followDesktop : WaylandWorkspace::Updates::onCall);
}

}  // namespace

std::unique_ptr<Workspace> createWorkspace(QString* error, QString* backend, bool follow) {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        *backend = QStringLiteral("x11");
        return createX11Workspace(
            error, follow ? X11Workspace::Updates::followDesktop : X11Workspace::Updates::onCall);
    }
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("GNOME"))) {
        // GNOME lists windows only through our Shell extension; without it the launched
        // applications are listed, and the menu says how to enable it.
        auto gnome = std::make_unique<GnomeWorkspace>(
            [follow](QString* why) -> std::unique_ptr<Workspace> {
                return createWaylandWorkspaceWithX11(why, follow);
            },
            [](QString* /*why*/) -> std::unique_ptr<Workspace> {
                return std::make_unique<LaunchedApplications>(QDBusConnection::sessionBus());
            },
            [] { GnomeWorkspace::enableExtension(); });
        *backend = gnome->description();
        return gnome;
    }
    QString waylandError;
    auto wayland = createWaylandWorkspaceWithX11(&waylandError, follow);
    if (!wayland) {
        *error = QStringLiteral(
                     "this desktop does not let Klosia see other applications' "
                     "windows (%1)")
                     .arg(waylandError);
        return nullptr;
    }
    *backend = wayland->description();
    return wayland;
}

}  // namespace klosia
