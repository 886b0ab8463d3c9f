#pragma once

#include <QHash>
#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "core/Clock.h"
#include "model/AppPolicies.h"
#include "model/InactiveApp.h"
#include "settings/InactiveAppsAfter.h"

namespace klosia {

// Quits ordinary applications left in the background longer than the user allows: a warning
// first, the quit request 30 seconds later. One tick() a second; it reads only what the caller
// hands in (the workspace's cached list, the stored policies), so a tick does no I/O of its own
// beyond the quit requests.
//
// Time is the boot clock's, so a step of the wall clock changes nothing. Every automatic quit
// comes at least the full grace after a warning of its own: an application that returns to the
// front, or ends, is warned again before its next quit, and after a gap between ticks (the
// machine slept, say) the warnings start over, as one shown before the gap may not have been
// seen.
class InactivityCheck {
public:
    using Notify = std::function<void(const QString& title, const QString& subtitle)>;

    // How long the warning comes before the quit.
    static constexpr std::int64_t kGraceSeconds = 30;
    // A longer gap between two ticks (they come every second) means the machine slept or the
    // program was stopped.
    static constexpr std::chrono::seconds kTickGap{10};

    explicit InactivityCheck(Notify notify) : notify_(std::move(notify)) {}

    // One tick at `now` over the running applications in workspace order.
    void tick(const InactiveAppsAfter& rule, BootClock::time_point now,
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
    void track(BootClock::time_point now, const std::vector<RunningApplicationPtr>& running,
               const AppPolicies& policies);
    void startWarningsOver(BootClock::time_point now);
    // An application to quit, under the key of its entry.
    struct Target {
        QString identifier;
        RunningApplicationPtr app;
    };
    std::vector<Target> decide(std::int64_t threshold, BootClock::time_point now,
                               const AppPolicies& policies);
    void quit(const std::vector<Target>& targets);

    Notify notify_;
    bool negativeLogged_ = false;
    std::optional<BootClock::time_point> lastTick_;
};

}  // namespace klosia
