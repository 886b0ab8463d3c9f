#pragma once

#include <QDBusConnection>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

#include "platform/RunningApplication.h"
#include "platform/linux/ApplicationActions.h"
#include "platform/linux/UnitProcesses.h"

namespace klosia {

// An application known only by the systemd unit its launcher started it in, on a desktop that
// shows no program the others' windows. With no window to ask, a polite quit goes through the
// quit action the application itself exports on the session bus, and is not offered at all
// without one: a SIGTERM would end it without the questions its own Quit asks (unsaved work),
// which is no polite quit. A force quit kills the unit's processes, and only when the unit
// holds one application: one process started from outside it, with everything below it.
class LaunchedApplication : public RunningApplication {
public:
    using Clock = std::chrono::steady_clock;

    struct Identity {
        QString id;  // the desktop id
        QString name;
        QString iconName;
    };

    // The application of `unit` whose main process is `main`, one of the unit's roots. The unit
    // is looked at again below `procRoot` (a test's tree, or /proc); the checks before a signal
    // always read the system's /proc. The quit action is looked for on `bus` now, once: the menu
    // asks quitUnavailableReason() at every fill, on the GUI thread.
    LaunchedApplication(QDBusConnection bus, QString procRoot, Identity identity,
                        const UnitGroup& unit, UnitProcess main,
                        Clock::time_point now = Clock::now());

    pid_t processIdentifier() const override { return main_.pid; }
    std::uint64_t startTime() const override { return main_.startTime; }
    QString localizedName() const override { return identity_.name; }
    QString bundleIdentifier() const override { return identity_.id; }
    QIcon icon() const override;
    // Listed from a launcher, so an application with windows; which of them, and whether one is
    // active, nobody here can tell.
    ActivationPolicy activationPolicy() const override { return ActivationPolicy::regular; }
    bool isActive() const override { return false; }
    bool isTerminated() const override;

    bool terminate() override;
    bool forceTerminate() override;
    // No window can be raised without the window list.
    bool activate() override { return false; }
    QString quitUnavailableReason() const override;

    const QString& unitName() const { return unitName_; }
    void markTerminated() { terminated_ = true; }

    // An application exports its actions a moment after its unit appears, so a first look may
    // come too early: while the action is missing and the application was first seen less than
    // kQuitLookWindow ago, a call kQuitLookInterval after the previous look looks again. Main
    // thread, with the unit as a fresh scan found it.
    void lookForQuitAgain(const UnitGroup& unit, Clock::time_point now);

    static constexpr std::chrono::seconds kQuitLookWindow{30};
    static constexpr std::chrono::seconds kQuitLookInterval{2};

private:
    void lookForQuit(const UnitGroup& unit, Clock::time_point now);
    bool refuseForceQuit(const std::string& reason) const;

    const QDBusConnection bus_;
    const QString procRoot_;
    const Identity identity_;
    const QString unitName_;
    const UnitProcess main_;
    const Clock::time_point firstSeen_;
    Clock::time_point lastLook_;
    // Written on the main thread, read by the requests from the menu's pool.
    mutable std::mutex mutex_;
    ApplicationActions::Quit quit_;
    std::atomic<bool> terminated_{false};
};

}  // namespace klosia
