#pragma once

#include <QString>

#include <chrono>

#include "platform/RunningApplication.h"

namespace klosia {

// One application being watched in the background: since when, and which process to quit.
class InactiveApp {
public:
    InactiveApp() = default;
    InactiveApp(QString appName, QString identifier, std::chrono::system_clock::time_point since,
                RunningApplicationPtr process)
        : name(std::move(appName)),
          bundleIdentifier(std::move(identifier)),
          activeDate(since),
          runningApplication(std::move(process)) {}

    QString name;
    QString bundleIdentifier;
    // The start of its inactivity: when it was first found in the background.
    std::chrono::system_clock::time_point activeDate;
    RunningApplicationPtr runningApplication;
};

}  // namespace klosia
