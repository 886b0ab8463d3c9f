#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "model/AppPolicies.h"
#include "model/InactiveApp.h"
#include "settings/InactiveAppsAfter.h"

namespace klosia {

// Quits ordinary applications left in the background longer than the user allows: a warning
// first, the quit request 30 seconds later. One tick() a second; it reads only what the caller
// hands in (the workspace's cached list, the stored policies), so a tick does no I/O of its own
// beyond the quit requests.
class InactivityCheck {
public:
    using Notify = std::function<void(const QString& title, const QString& subtitle)>;

    // How long the warning comes before the quit.
    static constexpr std::int64_t kGraceSeconds = 30;

    explicit InactivityCheck(Notify notify) : notify_(std::move(notify)) {}

    // One tick at `now` over the running applications in workspace order.
    void tick(const InactiveAppsAfter& rule, std::chrono::system_clock::time_point now,
              const std::vector<RunningApplicationPtr>& running, const AppPolicies& policies);

    // Forget everything (the rule was switched on or off, or the settings were reset).
    void reset();

    // "1 second", "59 seconds", "1 minute" (also for 119 seconds), "2 hours", "3 days".
    static QString durationText(std::int64_t seconds);
    // amount × seconds per unit, saturated at the 64-bit limits instead of wrapping.
    static std::int64_t thresholdSeconds(const InactiveAppsAfter& rule);

    QHash<QString, InactiveApp> inactiveApps;
    QHash<QString, bool> notifiedApps;

private:
    void track(std::chrono::system_clock::time_point now,
               const std::vector<RunningApplicationPtr>& running, const AppPolicies& policies);
    // An application to quit, under the key of its entry.
    struct Target {
        QString identifier;
        RunningApplicationPtr app;
    };
    std::vector<Target> decide(std::int64_t threshold, std::chrono::system_clock::time_point now,
                               const AppPolicies& policies);
    void quit(const std::vector<Target>& targets);

    Notify notify_;
    bool negativeLogged_ = false;
};

}  // namespace klosia
