#include "menu/MenuCellQuit.h"

#include <QCoreApplication>

#include <vector>

#include "core/Dispatcher.h"
#include "core/NotificationBus.h"
#include "log/Vezizur.h"
#include "model/QuitEngine.h"
#include "model/QuitTargets.h"
#include "services/ApplicationDelegate.h"

namespace klosia {

MenuCellQuit::Message MenuCellQuit::message(const QString& name, bool force) {
    if (force) {
        return {
            QCoreApplication::translate("klosia::MenuCellQuit", "%1 has been quit with force! 💪")
                .arg(name),
            QCoreApplication::translate("klosia::MenuCellQuit",
                                        "We couldn’t have done it without you.")};
    }
    return {QCoreApplication::translate("klosia::MenuCellQuit", "%1 has been quit ✋").arg(name),
            QCoreApplication::translate("klosia::MenuCellQuit", "Your wish is my command.")};
}

QString MenuCellQuit::describe(const RunningApplicationPtr& app) {
    if (!app) {
        return QStringLiteral("(none)");
    }
    return QStringLiteral("%1 [%2, pid %3]")
        .arg(app->localizedName(), app->bundleIdentifier())
        .arg(app->processIdentifier());
}

QString MenuCellQuit::refusal(const MenuAppPtr& entry, bool force) {
    return entry && !force ? entry->quitUnavailableReason() : QString();
}

bool MenuCellQuit::start(Dispatcher& dispatcher, const MenuAppPtr& entry, bool force,
                         const std::shared_ptr<std::atomic<int>>& countCheck) {
    if (!entry) {
        return false;
    }
    if (const QString reason = refusal(entry, force); !reason.isEmpty()) {
        logger.log("app: " + entry->bundleIdentifier.toStdString() +
                       " not asked to quit: " + reason.toStdString(),
                   VezizurLevel::info);
        return false;
    }
    notify(force ? names::appWillForceQuit : names::appWillQuit);
    // A polite quit of a grouped entry asks the application; its helpers end with it.
    const std::vector<RunningApplicationPtr> targets =
        force ? entry->apps : politeQuitTargets(entry->apps);
    const int expected = static_cast<int>(targets.size());
    const QString name = entry->name;
    auto accepted = std::make_shared<std::atomic<int>>(0);
    countCheck->store(0);
    for (const RunningApplicationPtr& target : targets) {
        dispatcher.background([&dispatcher, target, force, accepted, expected, name] {
            const QuitEngine::Completion completion = [&dispatcher, force, accepted, expected,
                                                       name](bool success,
                                                             const RunningApplicationPtr&) {
                if (!success) {
                    return;  // a refused request means no notification for this press
                }
                if (accepted->fetch_add(1, std::memory_order_acq_rel) + 1 != expected) {
                    return;
                }
                dispatcher.main([name, force] {
                    if (ApplicationDelegate* delegate = ApplicationDelegate::current()) {
                        const Message shown = message(name, force);
                        delegate->showNotification(shown.title, shown.subtitle);
                    }
                });
            };
            if (force) {
                QuitEngine::forceTerminate(target, completion);
            } else {
                QuitEngine::terminate(target, completion);
            }
        });
        checkIfTerminated(dispatcher, target, countCheck);
    }
    return true;
}

void MenuCellQuit::checkIfTerminated(Dispatcher& dispatcher, const RunningApplicationPtr& app,
                                     const std::shared_ptr<std::atomic<int>>& countCheck) {
    const bool terminated = app && app->isTerminated();
    logger.log(describe(app) + QStringLiteral(" is terminated: ") +
                   (terminated ? QStringLiteral("true") : QStringLiteral("false")),
               VezizurLevel::info);
    if (terminated) {
        notify(names::didTerminateApplication);
        return;
    }
    if (!app || countCheck->load() > kLastCheck - 1) {
        return;
    }
    dispatcher.backgroundAfter(Dispatcher::Delay(kCheckInterval), [&dispatcher, app, countCheck] {
        checkIfTerminated(dispatcher, app, countCheck);
        countCheck->fetch_add(1);
    });
}

}  // namespace klosia
