#include "model/InactivityCheck.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>
#include <limits>
#include <unordered_set>

#include "log/Vezizur.h"
#include "model/AppException.h"

namespace klosia {

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

std::int64_t secondsPerUnit(InactiveAppsAfterTime unit) {
    switch (unit) {
        case InactiveAppsAfterTime::minute:
            return 60;
        case InactiveAppsAfterTime::hour:
            return 3600;
        case InactiveAppsAfterTime::day:
            // The stored code of a day is 8640; a day still lasts 86400 seconds.
            return 86400;
    }
    return 3600;
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    return a > kMax - b ? kMax : a + b;
}

MenuAppPolicy policyOf(const AppPolicies& policies, const QString& identifier) {
    return policies.value(identifier, MenuAppPolicy::standard);
}

QString unitText(std::int64_t value, const char* one, const char* many) {
    // Each form its own text, so a translation can word both (and the untranslated ones stay
    // "1 minute", "5 minutes").
    return QCoreApplication::translate("klosia::InactivityCheck", value == 1 ? one : many)
        .arg(value);
}

}  // namespace

QString InactivityCheck::durationText(std::int64_t seconds) {
    if (seconds < 60) {
        return unitText(seconds, QT_TRANSLATE_NOOP("klosia::InactivityCheck", "%1 second"),
                        QT_TRANSLATE_NOOP("klosia::InactivityCheck", "%1 seconds"));
    }
    if (seconds < 3600) {
        return unitText(seconds / 60, QT_TRANSLATE_NOOP("klosia::InactivityCheck", "%1 minute"),
                        QT_TRANSLATE_NOOP("klosia::InactivityCheck", "%1 minutes"));
    }
    if (seconds < 86400) {
        return unitText(seconds / 3600, QT_TRANSLATE_NOOP("klosia::InactivityCheck", "%1 hour"),
                        QT_TRANSLATE_NOOP("klosia::InactivityCheck", "%1 hours"));
    }
    return unitText(seconds / 86400, QT_TRANSLATE_NOOP("klosia::InactivityCheck", "%1 day"),
                    QT_TRANSLATE_NOOP("klosia::InactivityCheck", "%1 days"));
}

std::int64_t InactivityCheck::thresholdSeconds(const InactiveAppsAfter& rule) {
    const std::int64_t perUnit = secondsPerUnit(rule.unit);
    // A wrapped threshold would be negative and quit everything at once.
    if (rule.amount > kMax / perUnit) {
        return kMax;
    }
    if (rule.amount < std::numeric_limits<std::int64_t>::min() / perUnit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return rule.amount * perUnit;
}

void InactivityCheck::reset() {
    inactiveApps.clear();
    notifiedApps.clear();
    lastTick_.reset();
}

void InactivityCheck::tick(const InactiveAppsAfter& rule, BootClock::time_point now,
                           const std::vector<RunningApplicationPtr>& running,
                           const AppPolicies& policies) {
    if (!rule.enabled) {
        lastTick_.reset();
        return;
    }
    if (lastTick_ && now - *lastTick_ > kTickGap) {
        startWarningsOver(now);
    }
    lastTick_ = now;
    if (rule.amount < 0) {
        // Older settings may hold one; it would make every background application "overdue".
        if (!negativeLogged_) {
            negativeLogged_ = true;
            logger.log("inactive apps: the amount " + QString::number(rule.amount) +
                           " is negative; nothing is quit until it is corrected",
                       VezizurLevel::error);
        }
        return;
    }
    negativeLogged_ = false;
    track(now, running, policies);
    quit(decide(thresholdSeconds(rule), now, policies));
}

void InactivityCheck::startWarningsOver(BootClock::time_point now) {
    const auto gap = std::chrono::duration_cast<std::chrono::seconds>(now - *lastTick_).count();
    logger.log("inactive apps: " + QString::number(gap) +
                   " seconds since the last check; every warning is shown again before a quit",
               VezizurLevel::info);
    notifiedApps.clear();
    for (InactiveApp& entry : inactiveApps) {
        entry.warnedDate.reset();
    }
}

void InactivityCheck::track(BootClock::time_point now,
                            const std::vector<RunningApplicationPtr>& running,
                            const AppPolicies& policies) {
    std::vector<const RunningApplicationPtr*> candidates;
    std::unordered_set<const RunningApplication*> inBackground;
    for (const RunningApplicationPtr& app : running) {
        if (!app || app->activationPolicy() != ActivationPolicy::regular || app->isActive()) {
            continue;
        }
        const QString name = app->localizedName();
        const QString identifier = app->bundleIdentifier();
        if (name.isEmpty() || identifier.isEmpty() || isAppException(identifier)) {
            continue;
        }
        const MenuAppPolicy policy = policyOf(policies, identifier);
        logger.log("name: " + name + ", bundleIdentifier: " + identifier + ", isActive: " +
                       (app->isActive() ? "true" : "false") + ", policyApp: " + rawValue(policy),
                   VezizurLevel::info);
        if (policy != MenuAppPolicy::never) {
            candidates.push_back(&app);
            inBackground.insert(app.get());
        }
    }
    QHash<QString, InactiveApp> tracked;
    for (const RunningApplicationPtr* candidate : candidates) {
        const RunningApplicationPtr& app = *candidate;
        const QString identifier = app->bundleIdentifier();
        if (tracked.contains(identifier)) {
            continue;  // one entry per identity
        }
        // An entry stands for the process it recorded, and only while that process is still in
        // the background: a process that ended, or came to the front, starts over from zero,
        // warning included.
        const auto known = inactiveApps.constFind(identifier);
        if (known != inactiveApps.constEnd() && known->runningApplication &&
            inBackground.contains(known->runningApplication.get())) {
            tracked.insert(identifier, *known);
        } else {
            tracked.insert(identifier, InactiveApp(app->localizedName(), identifier, now, app));
            notifiedApps.remove(identifier);
        }
    }
    // An application no longer tracked (in front, ended, or given "never") was warned for an
    // inactivity that is over.
    for (auto it = notifiedApps.begin(); it != notifiedApps.end();) {
        it = tracked.contains(it.key()) ? std::next(it) : notifiedApps.erase(it);
    }
    inactiveApps = std::move(tracked);
}

std::vector<InactivityCheck::Target> InactivityCheck::decide(std::int64_t threshold,
                                                             BootClock::time_point now,
                                                             const AppPolicies& policies) {
    std::vector<Target> targets;
    for (auto it = inactiveApps.begin(); it != inactiveApps.end(); ++it) {
        InactiveApp& entry = it.value();
        // The boot clock never runs back; an entry from the future would be a caller's slip.
        const auto elapsed = std::max<std::int64_t>(
            0, std::chrono::duration_cast<std::chrono::seconds>(now - entry.activeDate).count());
        logger.log("inactiveApp: " + entry.name + ", [" + QString::number(elapsed) + "/" +
                       QString::number(threshold) + "]",
                   VezizurLevel::info);
        if (elapsed >= threshold && !notifiedApps.contains(entry.bundleIdentifier)) {
            logger.log("inactiveApp: " + entry.name + " will quit in 30 seconds",
                       VezizurLevel::info);
            notifiedApps.insert(entry.bundleIdentifier, true);
            entry.warnedDate = now;
            notify_(QCoreApplication::translate("klosia::InactivityCheck",
                                                "%1 has been inactive for %2")
                        .arg(entry.name, durationText(elapsed)),
                    QCoreApplication::translate("klosia::InactivityCheck",
                                                "Auto-quitting in 30 seconds."));
        }
        const RunningApplicationPtr& process = entry.runningApplication;
        const bool graceOver =
            entry.warnedDate && now - *entry.warnedDate >= std::chrono::seconds(kGraceSeconds);
        if (graceOver && elapsed >= saturatingAdd(threshold, kGraceSeconds) && process &&
            !process->bundleIdentifier().isEmpty() &&
            policyOf(policies, process->bundleIdentifier()) != MenuAppPolicy::never) {
            targets.push_back({entry.bundleIdentifier, process});
        }
    }
    return targets;
}

void InactivityCheck::quit(const std::vector<Target>& targets) {
    for (const auto& [identifier, app] : targets) {
        const QString name = app->localizedName();
        logger.log("Terminate app: " + name, VezizurLevel::info);
        if (!app->terminate()) {
            continue;  // asked again at the next tick
        }
        notify_(
            QCoreApplication::translate("klosia::InactivityCheck", "%1 has been quit ✋")
                .arg(name.isEmpty() ? QCoreApplication::translate("klosia::InactivityCheck", "App")
                                    : name),
            QCoreApplication::translate("klosia::InactivityCheck", "Your wish is my command."));
        inactiveApps.remove(identifier);
        notifiedApps.remove(identifier);
    }
}

}  // namespace klosia
