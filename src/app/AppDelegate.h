#pragma once

#include <optional>

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

#include "core/Notification.h"
#include "menu/MenuWindowControllerDelegate.h"
#include "model/InactivityCheck.h"
#include "platform/RunningApplication.h"
#include "services/ApplicationDelegate.h"

namespace klosia {

class Clock;
class Compositor;
class Dispatcher;
class HotKeyRegistrar;
class RemoteCommands;
class HotKeyService;
class HotKeysController;
class InfoAlertWindowController;
class MenuWindowController;
class PreferencesWindowController;
class ReleaseFeed;
class SettingsAlertWindowController;
class SettingsMenu;
class StatusItem;
class TelemetryClient;
class Updater;
class UserDefaults;
class UserNotifications;
class Workspace;

// The root of the running program: it owns the status item's behaviour, the menu window, the
// timers and the subscriptions, and turns presses on the icon into opening and closing the
// menu. Main thread only.
class AppDelegate final : public QObject,
                          public ApplicationDelegate,
                          public MenuWindowControllerDelegate {
    Q_OBJECT

public:
    // What the delegate is given; everything must outlive it.
    struct Services {
        Dispatcher& dispatcher;
        Clock& clock;
        Workspace& workspace;
        UserDefaults& defaults;
        TelemetryClient& telemetry;
        // Null when it cannot be asked: the menu and the alerts are then always opaque.
        Compositor* compositor;
        // Null without a display: every global shortcut then stays off.
        HotKeyService* hotKeys;
        StatusItem& statusItem;
        UserNotifications& notifications;
        // Where the update check reads of new versions.
        ReleaseFeed& releaseFeed;
        // The program's short version: the per-version counters are kept under it.
        QString shortVersion;
        // Where the desktop gives no program global shortcuts: how to bind the commands
        // instead, for the Shortcut tab. Empty elsewhere.
        QString shortcutsNotice = {};
        // The desktop's own shortcut settings, where it decides the keys: a command line.
        QStringList shortcutsSettings = {};
    };

    explicit AppDelegate(Services services, QObject* parent = nullptr);
    ~AppDelegate() override;
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    void applicationDidFinishLaunching();

    // ApplicationDelegate
    void showNotification(const QString& title, const QString& subtitle) override;
    void performMenu() override;
    void openPreferences() override;
    void closeMenu() override;

    // MenuWindowControllerDelegate
    void setStatusItemHighlighted(bool highlighted) override;

    void showFirstRunAlert();
    void registerHotKeys();
    void checkInactive();

    HotKeyRegistrar* hotKeys() const { return hotKeyRegistrar_.get(); }
    // A command of a later start (klosia --quit ID, ...): empty when accepted, else why not.
    QString runCommand(const QString& name, const QString& argument);

    void workspaceDidLaunchApplicationNotification(const RunningApplicationPtr& app);
    void workspaceDidTerminateApplicationNotification(const RunningApplicationPtr& app);
    void appWillForceQuitNotification(const Notification& notification);
    void shortcutsDidChangedNotification(const Notification& notification);

    MenuWindowController* menuWindowController() const { return menuWindowController_.get(); }
    PreferencesWindowController* preferencesWindowController() const {
        return preferencesWindowController_.get();
    }
    SettingsAlertWindowController* settingsAlertWindowController() const {
        return settingsAlertWindowController_.get();
    }
    InfoAlertWindowController* infoAlertWindowController() const {
        return infoAlertWindowController_.get();
    }
    Updater* updater() const { return updater_.get(); }
    // The tray icon's menu for a secondary press: the menu window's settings menu.
    SettingsMenu* statusMenu() const { return statusMenu_.get(); }
    // The inactivity tracking (`inactiveApps`, `notifiedApps`).
    InactivityCheck& inactivity() { return inactivity_; }
    QTimer* inactiveTimer() const { return inactiveTimer_.get(); }

    // Menu openings give up when the icon is not on the screen under the mouse for this long.
    static constexpr double kMenuRetryInterval = 0.05;
    static constexpr int kMenuRetryLimit = 40;  // 2 seconds
    static constexpr double kPreferencesUnmapSettle = 0.15;
    // How long start-up waits for a tray before telling the user it runs without an icon.
    static constexpr double kTrayWaitSeconds = 30;

    // Secret that names the application to a telemetry service (the local client sends nothing).
    static const QString kTelemetrySecret;

protected:
    // While the menu holds the keyboard the global shortcuts cannot fire: it recognises them.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // `at`: where a top-bar button of the desktop that asked for the menu is (GNOME's, through
    // our Shell extension); the menu opens there in place of the tray icon's place.
    void performMenuAttempt(int retry, std::optional<QPoint> at = std::nullopt);
    void startTelemetry();
    void watchForTray();
    // The key of a per-version counter: `prefix` + the short version ("1.0" when unknown).
    QString versionKey(const QString& prefix) const;

    Services s_;
    std::unique_ptr<HotKeysController> hotKeysController_;
    std::unique_ptr<HotKeyRegistrar> hotKeyRegistrar_;
    std::unique_ptr<RemoteCommands> remoteCommands_;
    std::unique_ptr<MenuWindowController> menuWindowController_;
    // Before the windows that use it, so that it outlives them.
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<PreferencesWindowController> preferencesWindowController_;
    std::unique_ptr<InfoAlertWindowController> infoAlertWindowController_;
    std::unique_ptr<SettingsAlertWindowController> settingsAlertWindowController_;
    std::unique_ptr<SettingsMenu> statusMenu_;
    std::unique_ptr<QTimer> inactiveTimer_;
    InactivityCheck inactivity_;
    bool toldInactivityBlind_ = false;
};

}  // namespace klosia
