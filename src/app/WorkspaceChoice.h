#pragma once

#include <QString>

#include <memory>

#include "platform/Workspace.h"

namespace klosia {

// The desktop's workspace and its name for the start-up log and --list. On X11 the X server's
// windows. In a Wayland session the compositor lists the windows and the X11 workspace (when
// Xwayland runs) adds the X11 programs with their true owners; on GNOME through our Shell
// extension, else the launched applications. Nothing, with `error` set, when the desktop lets
// no program see the others' windows: a list of the X11 programs alone would pass for the
// whole desktop. `follow`: the workspace follows the desktop's events (an event loop runs).
std::unique_ptr<Workspace> createWorkspace(QString* error, QString* backend, bool follow);

}  // namespace klosia
