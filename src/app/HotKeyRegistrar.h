#pragma once

#include <QObject>

#include <functional>
#include <memory>

#include "hotkeys/HotKey.h"

class QKeyEvent;

namespace klosia {

class GlobalShortcut;
class HotKeysController;
class Workspace;
struct Notification;

// The program's three global shortcuts: turns the records in the preferences into live hot
// keys and runs their actions. Show or hide the menu (a callback the delegate gives), quit
// every regular application, force-quit every regular application. Owns the three hot keys:
// a slot that holds one keeps it registered. Main thread only.
class HotKeyRegistrar final : public QObject {
public:
    using Action = std::function<void()>;

    // `controller` and `workspace` must outlive the registrar.
    HotKeyRegistrar(HotKeysController& controller, Workspace& workspace, Action performMenu,
                    QObject* parent = nullptr);
    ~HotKeyRegistrar() override;
    HotKeyRegistrar(const HotKeyRegistrar&) = delete;
    HotKeyRegistrar& operator=(const HotKeyRegistrar&) = delete;

    // Rebuilds the three slots from Preferences::shared(), in the order activate, quit, force
    // quit. An enabled, not deleted record with a key and modifiers gets a new hot key, made
    // before the one it replaces goes; any other record leaves its slot empty.
    void registerHotKeys();

    // Runs registerHotKeys() on every "ShortcutsDidChanged" of the program's bus from now on.
    void observeShortcutChanges();

    // For a window of the program that holds the keyboard (the open menu), where the global
    // shortcuts do not fire: true when the key event is one of the shortcuts in force, and the
    // window should swallow it. A press that is not auto-repeat also runs the shortcut's action,
    // as the global shortcut would have.
    bool handleKeyEvent(const QKeyEvent& event);

    // The quit and force quit shortcuts' action: every application with a window on the task
    // bar, whatever the menu's boxes and the policies say.
    void quitRegularApplications(bool force);

    const HotKeyPtr& shortcutActivateKey() const { return shortcutActivateKey_; }
    const HotKeyPtr& shortcutQuitKey() const { return shortcutQuitKey_; }
    const HotKeyPtr& shortcutForceQuitKey() const { return shortcutForceQuitKey_; }

private:
    enum class Shortcut { activate, quit, forceQuit };

    void registerShortcut(Shortcut shortcut, const std::shared_ptr<GlobalShortcut>& record,
                          HotKeyPtr& slot);
    HotKey::Handler pressedAction(Shortcut shortcut, std::shared_ptr<GlobalShortcut> record);
    void shortcutsDidChangedNotification(const Notification& notification);

    HotKeysController& controller_;
    Workspace& workspace_;
    Action performMenu_;
    HotKeyPtr shortcutActivateKey_;
    HotKeyPtr shortcutQuitKey_;
    HotKeyPtr shortcutForceQuitKey_;
};

}  // namespace klosia
