#pragma once

#include <QPoint>
#include <QString>

#include <functional>
#include <optional>

namespace klosia {

class Workspace;

// What the running Klosia does for a command of a later start (klosia --quit-all, ...): the
// three shortcuts' actions, and the quitting of one application by the identifier --list
// prints. "toggle-menu" may carry "X,Y", the point under which the menu opens. Main thread.
class RemoteCommands {
public:
    // Without a point where the tray icon is; with one at that point (a desktop's own button).
    using ToggleMenu = std::function<void(std::optional<QPoint> at)>;
    using QuitAll = std::function<void(bool force)>;

    RemoteCommands(Workspace& workspace, ToggleMenu toggleMenu, QuitAll quitAll);

    // Empty when the command was accepted (its requests are sent), else why not, in a sentence
    // the command line prints.
    QString run(const QString& name, const QString& argument);

private:
    QString quitApplication(const QString& identifier, bool force);

    Workspace& workspace_;
    ToggleMenu toggleMenu_;
    QuitAll quitAll_;
};

}  // namespace klosia
