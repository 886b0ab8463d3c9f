#include "menu/MenuQuitRun.h"

#include <QCoreApplication>

#include <atomic>
#include <memory>
#include <string>
#include <unordered_set>

#include "core/Dispatcher.h"
#include "log/Vezizur.h"
#include "model/QuitEngine.h"
#include "model/QuitTargets.h"
#include "services/ApplicationDelegate.h"

namespace klosia {

namespace {

struct Run {
    Run(Dispatcher& queue, std::size_t entries, bool forceMode, bool allShown,
        std::source_location position)
        : dispatcher(queue),
          remaining(entries),
          total(static_cast<int>(entries)),
          force(forceMode),
          all(allShown),
          where(position) {}

    Dispatcher& dispatcher;
    // Per checked entry: its processes that have not yet accepted the request.
    std::vector<std::atomic<int>> remaining;
    // Checked entries whose every process accepted.
    std::atomic<int> completed{0};
    const int total;
    const bool force;
    const bool all;
    const std::source_location where;
};

void entryDone(const std::shared_ptr<Run>& run) {
    const int count = run->completed.fetch_add(1, std::memory_order_acq_rel) + 1;
    const std::string progress = std::to_string(count) + " of " + std::to_string(run->total);
    logger.log((run->force ? "force quit app " : "quit app ") + progress, VezizurLevel::info,
               run->where);
    if (count != run->total) {
        return;
    }
    run->dispatcher.main([force = run->force, all = run->all] {
        if (ApplicationDelegate* delegate = ApplicationDelegate::current()) {
            const MenuQuitRun::Message message = MenuQuitRun::closingMessage(force, all);
            delegate->showNotification(message.title, message.subtitle);
        }
    });
}

}  // namespace

MenuQuitRun::Message MenuQuitRun::closingMessage(bool force, bool all) {
    if (force) {
        return all ? Message{QCoreApplication::translate("klosia::MenuQuitRun",
                                                         "All apps has been quit with force! 💪"),
                             QCoreApplication::translate("klosia::MenuQuitRun",
                                                         "We couldn’t have done it without you.")}
                   : Message{
                         QCoreApplication::translate("klosia::MenuQuitRun",
                                                     "Selected apps has been quit with force! 💪"),
                         QCoreApplication::translate("klosia::MenuQuitRun",
                                                     "The force is strong with you.")};
    }
    return all ? Message{QCoreApplication::translate("klosia::MenuQuitRun",
                                                     "All apps has been quit! 👍"),
                         QCoreApplication::translate("klosia::MenuQuitRun",
                                                     "Your wish is my command.")}
               : Message{QCoreApplication::translate("klosia::MenuQuitRun",
                                                     "Selected apps has been quit! ✋"),
                         QCoreApplication::translate("klosia::MenuQuitRun", "You did it!")};
}

void MenuQuitRun::start(Dispatcher& dispatcher, const std::vector<MenuAppPtr>& checked, bool force,
                        bool all, std::source_location where) {
    // An entry that cannot be asked politely is left out of a polite run, logged: neither quit
    // nor refused, it counts neither way, and the run no longer quits "all".
    std::vector<MenuAppPtr> entries;
    for (const MenuAppPtr& entry : checked) {
        const QString reason = force ? QString() : entry->quitUnavailableReason();
        if (reason.isEmpty()) {
            entries.push_back(entry);
        } else {
            logger.log("app: " + entry->bundleIdentifier.toStdString() +
                           " skipped: " + reason.toStdString(),
                       VezizurLevel::info, where);
        }
    }
    if (entries.empty()) {
        return;
    }
    auto run = std::make_shared<Run>(dispatcher, entries.size(), force,
                                     all && entries.size() == checked.size(), where);
    // Each entry's processes that this run asks: a polite quit leaves out the helpers whose
    // application it asks too, and such an entry counts as quit once the rest accepted.
    std::vector<std::vector<RunningApplicationPtr>> perEntry(entries.size());
    std::unordered_set<const RunningApplication*> asked;
    if (!force) {
        std::vector<RunningApplicationPtr> processes;
        for (const MenuAppPtr& entry : entries) {
            processes.insert(processes.end(), entry->apps.begin(), entry->apps.end());
        }
        for (const RunningApplicationPtr& app : politeQuitTargets(processes)) {
            asked.insert(app.get());
        }
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        for (const RunningApplicationPtr& app : entries[i]->apps) {
            if (force || asked.contains(app.get())) {
                perEntry[i].push_back(app);
            } else {
                logger.log("helper pid " + std::to_string(app->processIdentifier()) +
                               " ends with its application, pid " +
                               std::to_string(app->helperOf()) + ": not signalled",
                           VezizurLevel::info, where);
            }
        }
        run->remaining[i].store(static_cast<int>(perEntry[i].size()));
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::vector<RunningApplicationPtr>& targets = perEntry[i];
        if (targets.empty()) {
            entryDone(run);  // nothing left to ask
            continue;
        }
        for (const RunningApplicationPtr& target : targets) {
            dispatcher.background([run, i, target] {
                const QuitEngine::Completion completion = [run, i](bool success,
                                                                   const RunningApplicationPtr&) {
                    if (!success) {
                        return;
                    }
                    if (run->remaining[i].fetch_sub(1, std::memory_order_acq_rel) == 1) {
                        entryDone(run);
                    }
                };
                if (run->force) {
                    QuitEngine::forceTerminate(target, completion);
                } else {
                    QuitEngine::terminate(target, completion);
                }
            });
        }
    }
}

}  // namespace klosia
