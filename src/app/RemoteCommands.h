#pragma once

#include <QString>

#include <functional>

namespace klosia {

class Workspace;

// What the running Klosia does for a command of a later start (klosia --quit-all, ...): the
// three shortcuts' actions, and the quitting of one application by the identifier --list
// prints. Main thread.
class RemoteCommands {
public:
    using Action = std::function<void()>;
    using QuitAll = std::function<void(bool force)>;

    RemoteCommands(Workspace& workspace, Action toggleMenu, QuitAll quitAll);

    // Empty when the command was accepted (its requests are sent), else why not, in a sentence
    // the command line prints.
    QString run(const QString& name, const QString& argument);

private:
    QString quitApplication(const QString& identifier, bool force);

    Workspace& workspace_;
    Action toggleMenu_;
    QuitAll quitAll_;
};

}  // namespace klosia
