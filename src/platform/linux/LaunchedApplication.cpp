#include "platform/linux/LaunchedApplication.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QThread>

#include <csignal>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "log/Vezizur.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/ProcessControl.h"

namespace klosia {

LaunchedApplication::LaunchedApplication(QDBusConnection bus, QString procRoot, Identity identity,
                                         const UnitGroup& unit, UnitProcess main,
                                         Clock::time_point now)
    : bus_(std::move(bus)),
      procRoot_(std::move(procRoot)),
      identity_(std::move(identity)),
      unitName_(unit.unit.name()),
      main_(main),
      firstSeen_(now) {
    lookForQuit(unit, now);
}

QIcon LaunchedApplication::icon() const {
    const QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() != app->thread() ||
        identity_.iconName.isEmpty()) {
        return {};
    }
    return iconFor(identity_.iconName);
}

bool LaunchedApplication::isTerminated() const {
    return terminated_ || !UnitProcesses::runs(procRoot_, main_);
}

void LaunchedApplication::lookForQuit(const UnitGroup& unit, Clock::time_point now) {
    lastLook_ = now;
    ApplicationActions::Quit quit = ApplicationActions::findQuit(
        bus_, identity_.id, [&unit](pid_t pid) { return UnitProcesses::holds(unit, pid); });
    if (!quit.found()) {
        logger.log("no polite quit for " + identity_.id.toStdString() + " (unit " +
                       unitName_.toStdString() + "): " + quit.missing.toStdString(),
                   VezizurLevel::info);
    }
    const std::lock_guard lock(mutex_);
    quit_ = std::move(quit);
}

void LaunchedApplication::lookForQuitAgain(const UnitGroup& unit, Clock::time_point now) {
    {
        const std::lock_guard lock(mutex_);
        if (quit_.found()) {
            return;
        }
    }
    if (now - firstSeen_ < kQuitLookWindow && now - lastLook_ >= kQuitLookInterval) {
        lookForQuit(unit, now);
    }
}

QString LaunchedApplication::quitUnavailableReason() const {
    const std::lock_guard lock(mutex_);
    if (quit_.found()) {
        return {};
    }
    return QCoreApplication::translate(
        "klosia::LaunchedApplication",
        "This application offers no way to be asked to quit without its windows; enable the "
        "GNOME Shell extension.");
}

bool LaunchedApplication::terminate() {
    if (terminated_) {
        return false;
    }
    ApplicationActions::Quit quit;
    {
        const std::lock_guard lock(mutex_);
        quit = quit_;
    }
    if (!quit.found()) {
        // Nothing else is tried: a signal is no request the application can answer.
        logger.log(
            "did not ask " + identity_.id.toStdString() + " to quit: " + quit.missing.toStdString(),
            VezizurLevel::info);
        return false;
    }
    const bool taken = ApplicationActions::activateQuit(bus_, quit);
    logger.log("asked " + identity_.id.toStdString() + " (pid " + std::to_string(main_.pid) +
                   ") through its quit action: " + (taken ? "taken" : "refused"),
               VezizurLevel::info);
    return taken;
}

bool LaunchedApplication::refuseForceQuit(const std::string& reason) const {
    logger.log("refused to force quit " + identity_.id.toStdString() + " (unit " +
                   unitName_.toStdString() + "): " + reason,
               VezizurLevel::error);
    return false;
}

bool LaunchedApplication::forceTerminate() {
    if (terminated_) {
        return false;
    }
    // A fresh look: the unit may have started processes since it was listed.
    const std::map<QString, UnitGroup> found =
        UnitProcesses::scan(procRoot_, ::getuid(), unitName_);
    const auto unit = found.find(unitName_);
    if (unit == found.end()) {
        return refuseForceQuit("the unit holds none of the user's processes any more");
    }
    const std::vector<UnitProcess> roots = UnitProcesses::roots(unit->second);
    if (roots.size() != 1) {
        // Several processes started from outside: a launcher that put two programs in one unit,
        // or processes moved in. Which of them is this application, nothing here tells.
        return refuseForceQuit(std::to_string(roots.size()) +
                               " of its processes were started from outside it, not one");
    }
    if (roots.front().pid != main_.pid || roots.front().startTime != main_.startTime) {
        return refuseForceQuit("the process it was listed by, pid " + std::to_string(main_.pid) +
                               ", is no longer the one its unit started");
    }
    const std::vector<UnitProcess> tree = UnitProcesses::tree(unit->second, main_.pid);
    // The root first, so it starts nothing new; each process by pidfd, its start time checked.
    if (!ProcessControl::sendSignal(main_.pid, main_.startTime, SIGKILL)) {
        return false;
    }
    for (std::size_t i = 1; i < tree.size(); ++i) {
        ProcessControl::sendSignal(tree[i].pid, tree[i].startTime, SIGKILL);
    }
    return true;
}

}  // namespace klosia
