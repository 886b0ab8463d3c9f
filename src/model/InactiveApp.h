#pragma once

#include <QString>

#include <chrono>
#include <optional>

#include "core/Clock.h"
#include "platform/RunningApplication.h"

namespace klosia {

// One application being watched in the background: since when, and which process to quit.
class InactiveApp {
public:
    InactiveApp() = default;
    InactiveApp(QString appName, QString identifier, BootClock::time_point since,
                RunningApplicationPtr process)
        : name(std::move(appName)),
          bundleIdentifier(std::move(identifier)),
          activeDate(since),
          runningApplication(std::move(process)) {}

    QString name;
    QString bundleIdentifier;
    // The start of its inactivity: when it was first found in the background.
    BootClock::time_point activeDate;
    RunningApplicationPtr runningApplication;
    // When the warning of its coming quit was shown; the quit waits the full grace after it.
    std::optional<BootClock::time_point> warnedDate;
};

}  // namespace klosia
