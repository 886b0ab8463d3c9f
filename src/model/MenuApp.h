#pragma once

#include <QString>

#include <memory>
#include <vector>

#include "model/MenuAppPolicy.h"
#include "platform/RunningApplication.h"

namespace klosia {

// One row of the menu: an application, or several of its background processes grouped. Shared
// by reference between the list, the unchecked-entries map and the rows.
class MenuApp {
public:
    MenuApp() = default;
    MenuApp(bool isSelected, QString appName, QString identifier,
            std::vector<RunningApplicationPtr> processes, MenuAppPolicy appPolicy);

    // Name, or name + " (" + count + ")" when the entry stands for two or more processes.
    QString title() const;
    // Why the entry cannot be asked to quit politely: the reason of its first process when none
    // of its processes can be asked; empty when one can. A force quit is always possible.
    QString quitUnavailableReason() const;

    bool selected = false;
    QString name;
    QString bundleIdentifier;
    std::vector<RunningApplicationPtr> apps;
    // Helpers of those processes that are not in the entry (background applications hidden, or
    // listed apart): their load is the application's too.
    std::vector<RunningApplicationPtr> helpers;
    MenuAppPolicy policy = MenuAppPolicy::standard;

    // The pids whose load the entry shows: its processes and their helpers, each once.
    std::vector<pid_t> loadPids() const;
};

using MenuAppPtr = std::shared_ptr<MenuApp>;

}  // namespace klosia
