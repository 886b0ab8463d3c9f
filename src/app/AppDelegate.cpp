#include "app/AppDelegate.h"

#include <QProcess>

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLocale>
#include <QPointer>
#include <QScreen>

#include "app/HotKeyRegistrar.h"
#include "app/RemoteCommands.h"
#include "core/Clock.h"
#include "core/Dispatcher.h"
#include "core/NotificationBus.h"
#include "hotkeys/HotKeysController.h"
#include "log/Vezizur.h"
#include "menu/MenuWindowController.h"
#include "menu/SettingsMenu.h"
#include "model/AppPolicies.h"
#include "platform/HotKeyService.h"
#include "platform/StatusItem.h"
#include "platform/TelemetryClient.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "preferences/InfoAlertWindowController.h"
#include "preferences/PreferencesShortcutsViewController.h"
#include "preferences/PreferencesViewController.h"
#include "preferences/PreferencesWindow.h"
#include "preferences/PreferencesWindowController.h"
#include "preferences/SettingsAlertViewController.h"
#include "preferences/SettingsAlertWindowController.h"
#include "resources/Resources.h"
#include "services/Updater.h"
#include "services/UserNotifications.h"
#include "settings/Preferences.h"

namespace klosia {

namespace {

const QString kFirstRunCountPrefix = QStringLiteral("kUserdefaultsFirstRunCount_");
const QString kForceQuitCountPrefix = QStringLiteral("kUserdefaultsForceQuitNotificationCount_");

}  // namespace

const QString AppDelegate::kTelemetrySecret =
    QStringLiteral("6f1d2c3e-8a47-4b5e-9c21-3d7e0f4a9b68");

AppDelegate::AppDelegate(Services services, QObject* parent)
    : QObject(parent),
      s_(std::move(services)),
      inactivity_([this](const QString& title, const QString& subtitle) {
          showNotification(title, subtitle);
      }) {}

AppDelegate::~AppDelegate() {
    if (statusMenu_) {
        s_.statusItem.setContextMenu(nullptr);
    }
    if (qApp != nullptr) {
        qApp->removeEventFilter(this);
    }
    Preferences::shared().onResetInactivityTracking = nullptr;
    if (ApplicationDelegate::current() == this) {
        ApplicationDelegate::setCurrent(nullptr);
    }
}

void AppDelegate::applicationDidFinishLaunching() {
    ApplicationDelegate::setCurrent(this);

    // 1. Telemetry.
    startTelemetry();

    // 2. The status item's image; a left press on it opens the menu at mouse-down.
    s_.statusItem.setImage(QIcon(resources::imagePath(QStringLiteral("status-icon"))));
    connect(&s_.statusItem, &StatusItem::pressed, this, &AppDelegate::performMenu);
    watchForTray();

    // 3. Global shortcuts.
    hotKeysController_ = std::make_unique<HotKeysController>(s_.hotKeys);
    hotKeyRegistrar_ = std::make_unique<HotKeyRegistrar>(*hotKeysController_, s_.workspace,
                                                         [this] { performMenu(); });
    remoteCommands_ = std::make_unique<RemoteCommands>(
        s_.workspace, [this](std::optional<QPoint> at) { performMenuAttempt(0, at); },
        [this](bool force) { hotKeyRegistrar_->quitRegularApplications(force); });
    registerHotKeys();
    qApp->installEventFilter(this);

    // 4. The menu window, the preferences window with the update check its About tab starts,
    // and the two alerts.
    menuWindowController_ = std::make_unique<MenuWindowController>(
        s_.dispatcher, s_.workspace, Preferences::shared(), s_.compositor, &s_.defaults);
    menuWindowController_->delegate = this;
    // Showing the preferences window from the open menu (a tip, the settings menu) makes Qt
    // close the menu, whose popup holds the keyboard until its fade ends: then the window
    // takes the focus it was given meanwhile.
    connect(menuWindowController_.get(), &MenuWindowController::menuDidClose, this, [this] {
        if (preferencesWindowController_) {
            preferencesWindowController_->bringToFront();
        }
    });
    updater_ = std::make_unique<Updater>(s_.releaseFeed, s_.shortVersion,
                                         [this](const QString& title, const QString& subtitle) {
                                             showNotification(title, subtitle);
                                         });
    preferencesWindowController_ = std::make_unique<PreferencesWindowController>(s_.dispatcher);
    if (!s_.shortcutsNotice.isEmpty()) {
        std::function<void()> openSettings;
        if (!s_.shortcutsSettings.isEmpty()) {
            openSettings = [command = s_.shortcutsSettings] {
                QProcess::startDetached(command.first(), command.mid(1));
            };
        }
        preferencesWindowController_->preferencesViewController()
            ->preferencesShortcutsViewController()
            ->setDesktopNotice(s_.shortcutsNotice, tr("Open the desktop's shortcut settings"),
                               std::move(openSettings));
    }
    preferencesWindowController_->setInactivityReset([this] { inactivity_.reset(); });
    preferencesWindowController_->setUpdater(updater_.get());
    // A shortcut being recorded may be one of ours, or the one being changed: while a recorder
    // waits, our grabs would take the very keys it waits for.
    preferencesWindowController_->setShortcutRecordingObserver([this](bool recording) {
        if (s_.hotKeys != nullptr) {
            s_.hotKeys->setSuspended(recording);
        }
    });
    if (s_.hotKeys != nullptr) {
        preferencesWindowController_->setUnshiftedKeysym([this](std::uint32_t nativeScanCode) {
            return s_.hotKeys->unshiftedKeysym(nativeScanCode);
        });
    }
    infoAlertWindowController_ = std::make_unique<InfoAlertWindowController>(s_.compositor);
    settingsAlertWindowController_ = std::make_unique<SettingsAlertWindowController>(s_.compositor);
    settingsAlertWindowController_->settingsAlertViewController()->setShortcutOffered(s_.hotKeys !=
                                                                                      nullptr);
    // A secondary press on the icon offers what the menu window's settings button does.
    statusMenu_ = std::make_unique<SettingsMenu>(Preferences::shared());
    s_.statusItem.setContextMenu(statusMenu_.get());

    // 5. Whether notifications can be shown at all.
    s_.notifications.checkAuthorization();

    // 6. Subscriptions.
    NotificationBus& bus = NotificationBus::defaultCenter();
    bus.observe(this, &AppDelegate::appWillForceQuitNotification, names::appWillForceQuit);
    bus.observe(this, &AppDelegate::shortcutsDidChangedNotification, names::shortcutsDidChanged);

    // 7. The settings alert of a new version's first start.
    s_.dispatcher.mainAfter(Dispatcher::Delay(1.0), [this] { showFirstRunAlert(); });

    // 8. Launches and terminations of the desktop, re-posted on the program's bus.
    s_.workspace.setDidLaunchHandler([this](const RunningApplicationPtr& app) {
        workspaceDidLaunchApplicationNotification(app);
    });
    s_.workspace.setDidTerminateHandler([this](const RunningApplicationPtr& app) {
        workspaceDidTerminateApplicationNotification(app);
    });

    // 9. A quiet look for a newer version.
    updater_->checkForUpdatesInBackground();

    // 10. The inactivity check, once a second for the whole run.
    inactiveTimer_ = std::make_unique<QTimer>();
    inactiveTimer_->setInterval(1000);
    connect(inactiveTimer_.get(), &QTimer::timeout, this, &AppDelegate::checkInactive);
    inactiveTimer_->start();
    Preferences::shared().onResetInactivityTracking = [this] { inactivity_.reset(); };
}

void AppDelegate::startTelemetry() {
    s_.telemetry.start(kTelemetrySecret, TelemetryClient::analytics | TelemetryClient::crashes);
    s_.telemetry.setLogLevel(TelemetryClient::LogLevel::none);
    const QLocale locale = QLocale::system();
    if (locale.territory() != QLocale::AnyTerritory) {
        const QString code = QLocale::territoryToCode(locale.territory());
        logger.log("register country code = " + code, VezizurLevel::info);
        s_.telemetry.setCountryCode(code);
    }
    s_.telemetry.setCrashesEnabled(true);
}

void AppDelegate::watchForTray() {
    if (s_.statusItem.isInTray()) {
        return;
    }
    // Common at login: the program starts before the panel.
    logger.log("no system tray yet: the icon appears once a tray starts", VezizurLevel::info);
    connect(&s_.statusItem, &StatusItem::trayAvailabilityChanged, this, [](bool available) {
        if (available) {
            logger.log("a system tray appeared", VezizurLevel::info);
        }
    });
    QPointer<AppDelegate> self(this);
    s_.dispatcher.mainAfter(Dispatcher::Delay(kTrayWaitSeconds), [self] {
        AppDelegate* delegate = self.data();
        if (delegate == nullptr || delegate->s_.statusItem.isInTray()) {
            return;
        }
        logger.log("still no system tray: telling the user", VezizurLevel::error);
        // Without an icon the program would run unseen; a second start still reaches the menu.
        delegate->showNotification(
            tr("Klosia is running without an icon"),
            tr("No system tray was found. Run klosia again to open its menu."));
    });
}

void AppDelegate::showNotification(const QString& title, const QString& subtitle) {
    s_.notifications.showNotification(title, subtitle);
}

QString AppDelegate::runCommand(const QString& name, const QString& argument) {
    return remoteCommands_->run(name, argument);
}

void AppDelegate::performMenu() {
    performMenuAttempt(0);
}

void AppDelegate::performMenuAttempt(int retry, std::optional<QPoint> at) {
    if (preferencesWindowController_) {
        const bool wasShown = preferencesWindowController_->window() != nullptr &&
                              preferencesWindowController_->window()->isVisible();
        preferencesWindowController_->closePreferences();
        // A compositor that handles the unmapping of the focused preferences window after the
        // menu has mapped gives the focus on to a window of another program, and the menu closes
        // as if the user had pressed there. The menu opens a moment later.
        if (wasShown && QGuiApplication::platformName() == QLatin1String("wayland")) {
            s_.dispatcher.mainAfter(Dispatcher::Delay(kPreferencesUnmapSettle),
                                    [this, retry, at] { performMenuAttempt(retry, at); });
            return;
        }
    }
    if (!menuWindowController_) {
        return;
    }
    // A second press while the menu still fades in closes it once it is open; opening it
    // again would only start the fade anew.
    if (menuWindowController_->isOpen() ||
        menuWindowController_->phase() == MenuWindowController::Phase::opening) {
        setStatusItemHighlighted(false);
        menuWindowController_->closeMenu();
        return;
    }
    setStatusItemHighlighted(true);
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        // No program learns where the pointer is on Wayland: the menu opens at the point the
        // tray sent with the press, else at the top right of the output.
        const QRect icon = at ? QRect(*at, QSize(1, 1)) : s_.statusItem.iconGeometry();
        QScreen* screen = icon.isValid() ? QGuiApplication::screenAt(icon.center()) : nullptr;
        if (screen == nullptr) {
            screen = QGuiApplication::primaryScreen();
        }
        if (screen != nullptr) {
            menuWindowController_->openMenu(
                screen->geometry().contains(icon) ? icon.center() : screen->geometry().topRight());
        }
        return;
    }
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        return;
    }
    // An XEmbed tray tells where the icon is; a StatusNotifierItem host does not, and the
    // press happened under the pointer.
    const QRect icon = s_.statusItem.iconGeometry();
    if (!icon.isValid() || icon.isEmpty()) {
        menuWindowController_->openMenu(QCursor::pos());
        return;
    }
    if (screen->geometry().contains(icon)) {
        menuWindowController_->openMenu(icon.center());
        return;
    }
    // The panel may still be moving to this screen. Give it a moment, but not for ever.
    if (retry >= kMenuRetryLimit) {
        logger.log(
            "perform menu: the status icon never reached the screen under the mouse; "
            "giving up",
            VezizurLevel::error);
        setStatusItemHighlighted(false);
        return;
    }
    s_.dispatcher.mainAfter(Dispatcher::Delay(kMenuRetryInterval), [this, retry] {
        logger.log("perform menu after", VezizurLevel::info);
        performMenuAttempt(retry + 1);
    });
}

void AppDelegate::openPreferences() {
    if (preferencesWindowController_) {
        preferencesWindowController_->openPreferences();
    }
}

void AppDelegate::closeMenu() {
    if (menuWindowController_) {
        menuWindowController_->closeMenu();
    }
}

void AppDelegate::setStatusItemHighlighted(bool highlighted) {
    s_.statusItem.setHighlighted(highlighted);
}

QString AppDelegate::versionKey(const QString& prefix) const {
    return prefix + (s_.shortVersion.isEmpty() ? QStringLiteral("1.0") : s_.shortVersion);
}

void AppDelegate::showFirstRunAlert() {
    const QString key = versionKey(kFirstRunCountPrefix);
    const std::int64_t count = s_.defaults.integer(key).value_or(0);
    logger.log("kUserdefaultsFirstRunCount count: " + QString::number(count), VezizurLevel::info);
    if (settingsAlertWindowController_) {
        if (count == 0) {
            settingsAlertWindowController_->openSettings();
        } else {
            settingsAlertWindowController_->closeSettings();
        }
    }
    s_.defaults.set(key, count + 1);
    s_.defaults.synchronize();
}

void AppDelegate::appWillForceQuitNotification(const Notification& /*notification*/) {
    const QString key = versionKey(kForceQuitCountPrefix);
    const std::int64_t count = s_.defaults.integer(key).value_or(0);
    logger.log("appWillForceQuitNotification count: " + QString::number(count), VezizurLevel::info);
    if (count == 0) {
        s_.dispatcher.mainAfter(Dispatcher::Delay(2.0), [this] {
            closeMenu();
            if (infoAlertWindowController_) {
                infoAlertWindowController_->openInfo(
                    tr("Hey Davezazovu Riveriz 🕵️♀️"),
                    tr("FYI, some background apps will immediately restart after "
                       "quitting them. It’s sorcery beyond our control."),
                    tr("I can handle it!"));
            }
        });
    } else if (infoAlertWindowController_) {
        infoAlertWindowController_->closeInfo();
    }
    s_.defaults.set(key, count + 1);
    s_.defaults.synchronize();
}

void AppDelegate::shortcutsDidChangedNotification(const Notification& /*notification*/) {
    registerHotKeys();
}

void AppDelegate::registerHotKeys() {
    if (hotKeyRegistrar_) {
        hotKeyRegistrar_->registerHotKeys();
    }
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (key && hotKeyRegistrar_ && menuWindowController_ &&
        menuWindowController_->phase() != MenuWindowController::Phase::closed &&
        hotKeyRegistrar_->handleKeyEvent(*static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void AppDelegate::checkInactive() {
    const std::shared_ptr<InactiveAppsAfter> rule = Preferences::shared().quitInactiveAppsAfter();
    // Off is the common case: a tick then touches nothing else.
    if (!rule || !rule->enabled) {
        return;
    }
    // Nothing is quit for being in the background where nobody can tell what is in front.
    if (!s_.workspace.knowsActiveApplication()) {
        if (!toldInactivityBlind_) {
            toldInactivityBlind_ = true;
            logger.log(
                "inactive apps: this desktop does not tell which application is active; "
                "none is quit for inactivity",
                VezizurLevel::error);
        }
        return;
    }
    toldInactivityBlind_ = false;
    // What the desktop's events keep current is all the check needs: asking for the list itself
    // would start a full scan of the desktop every second.
    inactivity_.tick(*rule, s_.clock.now(), s_.workspace.knownApplications(),
                     loadAppPolicies(s_.defaults));
}

void AppDelegate::workspaceDidLaunchApplicationNotification(const RunningApplicationPtr& /*app*/) {
    logger.log("workspace did launched", VezizurLevel::info);
    notify(names::didLaunchApplication, nullptr, 0);
}

void AppDelegate::workspaceDidTerminateApplicationNotification(
    const RunningApplicationPtr& /*app*/) {
    logger.log("workspace did terminate", VezizurLevel::info);
    notify(names::didTerminateApplication, nullptr, 0);
}

}  // namespace klosia
