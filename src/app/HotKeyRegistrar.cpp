#include "app/HotKeyRegistrar.h"

#include <QKeyEvent>

#include <utility>
#include <vector>

#include "core/NotificationBus.h"
#include "hotkeys/HotKeysController.h"
#include "log/Vezizur.h"
#include "model/QuitEngine.h"
#include "platform/Workspace.h"
#include "settings/Preferences.h"

namespace klosia {

HotKeyRegistrar::HotKeyRegistrar(HotKeysController& controller, Workspace& workspace,
                                 Action performMenu, QObject* parent)
    : QObject(parent),
      controller_(controller),
      workspace_(workspace),
      performMenu_(std::move(performMenu)) {}

HotKeyRegistrar::~HotKeyRegistrar() = default;

void HotKeyRegistrar::registerHotKeys() {
    const Preferences& preferences = Preferences::shared();
    registerShortcut(Shortcut::activate, preferences.shortcutActivate(), shortcutActivateKey_);
    registerShortcut(Shortcut::quit, preferences.shortcutQuit(), shortcutQuitKey_);
    registerShortcut(Shortcut::forceQuit, preferences.shortcutForceQuit(), shortcutForceQuitKey_);
}

void HotKeyRegistrar::registerShortcut(Shortcut shortcut,
                                       const std::shared_ptr<GlobalShortcut>& record,
                                       HotKeyPtr& slot) {
    // The preferences never hand out a null record; a null one is treated as disabled.
    const QString description = record ? record->description() : QString();
    if (record && record->enabled && !record->deleted && record->key && record->modifiers) {
        logger.log(QStringLiteral("activate shortcut: ") + description, VezizurLevel::info);
        HotKeyPtr hotKey =
            HotKey::create(KeyCombo(*record->key, *record->modifiers), {}, {}, &controller_);
        // The old hot key goes only now, after the new one is registered, also when the
        // combination is the same: the grab is counted, so it stays in force throughout.
        slot = hotKey;
        hotKey->keyDownHandler = pressedAction(shortcut, record);
    } else {
        slot.reset();
        logger.log(QStringLiteral("disable shortcut: ") + description, VezizurLevel::info);
    }
}

HotKey::Handler HotKeyRegistrar::pressedAction(Shortcut shortcut,
                                               std::shared_ptr<GlobalShortcut> record) {
    return [this, shortcut, record = std::move(record)] {
        logger.log(QStringLiteral("handle shortcut: ") + record->description(), VezizurLevel::info);
        switch (shortcut) {
            case Shortcut::activate:
                if (performMenu_) {
                    performMenu_();
                }
                break;
            case Shortcut::quit:
                quitRegularApplications(false);
                break;
            case Shortcut::forceQuit:
                quitRegularApplications(true);
                break;
        }
    };
}

void HotKeyRegistrar::quitRegularApplications(bool force) {
    // Every application with a window on the task bar, in the workspace's order; the menu's
    // check boxes and the per-application policies play no part here.
    for (const RunningApplicationPtr& app : workspace_.runningApplications()) {
        if (!app || app->activationPolicy() != ActivationPolicy::regular) {
            continue;
        }
        if (force) {
            QuitEngine::forceTerminate(app, {});
        } else {
            QuitEngine::terminate(app, {});
        }
    }
}

void HotKeyRegistrar::observeShortcutChanges() {
    observe(this, &HotKeyRegistrar::shortcutsDidChangedNotification, names::shortcutsDidChanged);
}

void HotKeyRegistrar::shortcutsDidChangedNotification(const Notification& /*notification*/) {
    registerHotKeys();
}

bool HotKeyRegistrar::handleKeyEvent(const QKeyEvent& event) {
    // Copies: an action may rebuild the slots. Two shortcuts on one combination both run, as
    // both would from the keyboard.
    std::vector<HotKeyPtr> matching;
    for (const HotKeyPtr& hotKey :
         {shortcutActivateKey_, shortcutQuitKey_, shortcutForceQuitKey_}) {
        if (hotKey && controller_.matches(*hotKey, event)) {
            matching.push_back(hotKey);
        }
    }
    if (event.type() == QEvent::KeyPress && !event.isAutoRepeat()) {
        for (const HotKeyPtr& hotKey : matching) {
            if (const HotKey::Handler action = hotKey->keyDownHandler) {
                action();
            }
        }
    }
    return !matching.empty();
}

}  // namespace klosia
