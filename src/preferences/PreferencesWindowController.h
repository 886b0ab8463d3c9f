#pragma once

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "preferences/PreferenceTab.h"

class QAction;
class QActionGroup;
class QPropertyAnimation;
class QToolBar;

namespace klosia {

class Dispatcher;
class PreferencesViewController;
class PreferencesWindow;
class SettingsViewRecorder;
class Updater;

// The preferences window: created once at start-up, hidden and shown, never destroyed before the
// program ends. Every opening starts on the General tab; switching tabs animates the window to the
// tab's height with its top edge in place. Escape (or Ctrl+W) hides the window, Ctrl+Tab and
// Ctrl+Shift+Tab go through the tabs. Main thread only.
class PreferencesWindowController : public QObject {
    Q_OBJECT

public:
    static constexpr int kResizeMilliseconds = 200;

    // `dispatcher` is the main queue the panes queue their refreshes on.
    explicit PreferencesWindowController(Dispatcher& dispatcher, QObject* parent = nullptr);
    ~PreferencesWindowController() override;
    PreferencesWindowController(const PreferencesWindowController&) = delete;
    PreferencesWindowController& operator=(const PreferencesWindowController&) = delete;

    // Shows the window centred on the screen under the pointer, in front and active, on the
    // General tab. Logs "preferences will open".
    void openPreferences();
    // Hides the window; it keeps its state.
    void closePreferences();
    // When shown: raises the window and makes it the active one again, as it stands (no tab
    // change, no move). For a window shown while a popup held the keyboard.
    void bringToFront();

    // Called whenever the user switches the automatic quitting of inactive applications on or
    // off: the application forgets the inactive applications it tracks and has warned about.
    void setInactivityReset(std::function<void()> reset);
    // Told true when a shortcut recorder starts waiting for a combination and false when it
    // stops, so that the program's global shortcuts can let go of the keyboard meanwhile.
    void setShortcutRecordingObserver(const std::function<void(bool)>& observer);
    // How the recorders learn what a key types without modifiers (see SettingsViewRecorder).
    void setUnshiftedKeysym(const std::function<std::uint32_t(std::uint32_t)>& unshifted);
    // The update check the About tab starts; null (the default) says the check is off.
    void setUpdater(Updater* updater);

    void selectTab(PreferenceTab tab);
    PreferenceTab preferenceTab() const { return preferenceTab_; }

    void generalToolbarItemPress();
    void shortcutsToolbarItemPress();
    void supportToolbarItemPress();
    void aboutToolbarItemPress();

    PreferencesWindow* window() const { return window_.get(); }
    PreferencesViewController* preferencesViewController() const {
        return preferencesViewController_;
    }
    QToolBar* preferencesToolbar() const { return preferencesToolbar_; }
    QAction* toolbarItem(PreferenceTab tab) const;
    // True while the window is still moving to its tab's height.
    bool isResizing() const;

private:
    std::array<SettingsViewRecorder*, 3> recorders() const;
    QAction* addToolbarItem(PreferenceTab tab, const QString& label,
                            void (PreferencesWindowController::*action)());
    void stepTab(int by);
    void resizeTo(int height, bool animated);
    void centre();
    void keepActivationInStep();
    void applyIcons();

    std::unique_ptr<PreferencesWindow> window_;
    QToolBar* preferencesToolbar_ = nullptr;
    QActionGroup* tabs_ = nullptr;
    QAction* generalToolbarItem_ = nullptr;
    QAction* shortcutsToolbarItem_ = nullptr;
    QAction* supportToolbarItem_ = nullptr;
    QAction* aboutToolbarItem_ = nullptr;
    PreferenceTab preferenceTab_ = PreferenceTab::general;
    PreferencesViewController* preferencesViewController_ = nullptr;
    QPropertyAnimation* heightAnimation_ = nullptr;
};

}  // namespace klosia
