#include "app/Launcher.h"

#include <QApplication>
#include <QUrl>

#include <cstdio>
#include <memory>

#include "app/AppDelegate.h"
#include "app/AppListPrinter.h"
#include "app/CommandLine.h"
#include "app/TrayStatusItem.h"
#include "app/WorkspaceChoice.h"
#include "core/AppInfo.h"
#include "core/Clock.h"
#include "core/NotificationBus.h"
#include "core/QtDispatcher.h"
#include "log/Vezizur.h"
#include "model/AppListState.h"
#include "model/CPU.h"
#include "platform/BlindWorkspace.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/linux/CanberraSoundPlayer.h"
#include "platform/linux/DesktopNotificationSettings.h"
#include "platform/linux/FileUserDefaults.h"
#include "platform/linux/FreedesktopNotifications.h"
#include "platform/linux/HttpReleaseFeed.h"
#include "platform/linux/LocalTelemetry.h"
#include "platform/linux/PortalHotKeyService.h"
#include "platform/linux/ProcProcessStatus.h"
#include "platform/linux/ResourceLimits.h"
#include "platform/linux/SingleInstance.h"
#include "platform/linux/StatusNotifierItem.h"
#include "platform/linux/XdgAutostart.h"
#include "platform/wayland/WaylandCompositor.h"
#include "platform/x11/X11Compositor.h"
#include "platform/x11/X11HotKeyService.h"
#include "services/Sound.h"
#include "services/SoundFiles.h"
#include "services/UserNotifications.h"
#include "settings/LaunchAtLogin.h"
#include "settings/Preferences.h"

namespace klosia {

namespace {

QStringList argumentList(int argc, char** argv) {
    QStringList list;
    for (int i = 0; i < argc; ++i) {
        list << QString::fromLocal8Bit(argv[i]);
    }
    return list;
}

void print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

// The configured feed, unless KLOSIA_UPDATE_FEED names another one (a mirror, a test server);
// set and empty, it switches the update check off.
QUrl releaseFeedAddress() {
    if (qEnvironmentVariableIsSet("KLOSIA_UPDATE_FEED")) {
        return QUrl(qEnvironmentVariable("KLOSIA_UPDATE_FEED"));
    }
    return QUrl(QString::fromUtf8(appinfo::kUpdateFeed));
}

bool isWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || isWaylandSession();
}

QString noDisplayMessage() {
    return QStringLiteral("%1: no X display: DISPLAY is not set\n")
        .arg(QLatin1String(appinfo::kExecutable));
}

// Prints what the menu would list right now, with the stored policies and preferences.
int printAppList(int argc, char** argv, const CommandLine& command) {
    if (!hasDisplay()) {
        print(stderr, noDisplayMessage());
        return 1;
    }
    QCoreApplication app(argc, argv);
    QtDispatcher dispatcher;
    NotificationBus bus(dispatcher);
    NotificationBus::setDefaultCenter(&bus);
    // Listing only looks: a damaged settings file stays where it is and nothing is written.
    FileUserDefaults defaults(FileUserDefaults::defaultPath(), FileUserDefaults::Access::readOnly);
    setStandardUserDefaults(&defaults);
    // Reading the settings must not change start at login, so no login-item service here.
    Preferences preferences(defaults);
    preferences.load();

    QString error;
    QString backend;
    // No event loop runs here: the one call reads the desktop itself.
    const std::unique_ptr<Workspace> workspace = createWorkspace(&error, &backend, false);
    int status = 0;
    if (!workspace) {
        print(stderr, QStringLiteral("%1: %2\n").arg(QLatin1String(appinfo::kExecutable), error));
        status = 1;
    } else {
        AppListSettings settings = AppListSettings::from(preferences);
        settings.showBackgroundApps = settings.showBackgroundApps || command.background;
        AppListState state(&defaults);
        const std::vector<RunningApplicationPtr> running = workspace->runningApplications();
        // Whether each application answers: one round of pings, waited for.
        workspace->setWatchingResponses(true);
        workspace->awaitResponses();
        const auto apps = state.rebuild(running, settings);
        print(stdout, command.json ? AppListPrinter::json(apps) : AppListPrinter::table(apps));
        if (!command.json) {
            print(stdout, QStringLiteral("(workspace: %1)\n").arg(backend));
        }
    }
    NotificationBus::setDefaultCenter(nullptr);
    setStandardUserDefaults(nullptr);
    return status;
}

// How to get the three shortcuts' actions where the desktop gives no program global shortcuts:
// the commands, bound in the compositor.
QString waylandShortcutsNotice() {
    const QString program = QLatin1String(appinfo::kExecutable);
    if (!qEnvironmentVariableIsEmpty("SWAYSOCK")) {
        return QCoreApplication::translate(
                   "klosia::Launcher",
                   "sway gives no program global shortcuts. Bind Klosia's commands in sway's "
                   "configuration (~/.config/sway/config) instead, for example:\n\n"
                   "bindsym $mod+Escape exec %1 --toggle-menu\n"
                   "bindsym $mod+Shift+Escape exec %1 --quit-all\n"
                   "bindsym $mod+Ctrl+Escape exec %1 --force-quit-all\n\n"
                   "and reload it with swaymsg reload.")
            .arg(program);
    }
    return QCoreApplication::translate(
               "klosia::Launcher",
               "This desktop gives no program global shortcuts. Bind these commands to keys in "
               "its keyboard settings instead:\n\n"
               "%1 --toggle-menu\n%1 --quit-all\n%1 --force-quit-all")
        .arg(program);
}

// Where the session has a StatusNotifierWatcher (KDE, waybar, Xfce's panel plugin), our own
// item, which keeps the position a host sends with a press; Wayland has no XEmbed, so there it
// waits for a watcher. Elsewhere Qt's tray icon, embedded in an XEmbed tray.
std::unique_ptr<StatusItem> createStatusItem() {
    if (StatusNotifierItem::watcherRuns() || isWaylandSession()) {
        logger.log("tray: StatusNotifierItem", VezizurLevel::info);
        return std::make_unique<StatusNotifierItem>(QLatin1String(appinfo::kApplicationId),
                                                    QLatin1String(appinfo::kName));
    }
    logger.log("tray: Qt's tray icon (XEmbed)", VezizurLevel::info);
    return std::make_unique<TrayStatusItem>();
}

// A command for the running Klosia: it needs no display, so a compositor's key binding can run
// it anywhere in the session, and it never starts a Klosia.
int sendCommand(int argc, char** argv, const CommandLine& command) {
    QCoreApplication app(argc, argv);
    SingleInstance instance{QLatin1String(appinfo::kApplicationId)};
    QString message;
    switch (instance.sendCommand(command.command, command.target, &message)) {
        case SingleInstance::Delivery::accepted:
            return 0;
        case SingleInstance::Delivery::refused:
            print(stderr,
                  QStringLiteral("%1: %2\n").arg(QLatin1String(appinfo::kExecutable), message));
            return 1;
        case SingleInstance::Delivery::noInstance:
            break;
    }
    print(stderr,
          QCoreApplication::translate("klosia::CommandLine",
                                      "%1: %2 is not running (%3); start it first\n")
              .arg(QLatin1String(appinfo::kExecutable), QLatin1String(appinfo::kName), message));
    return 1;
}

}  // namespace

int Launcher::run(int argc, char** argv) {
    const CommandLine command = CommandLine::parse(argumentList(argc, argv));
    switch (command.action) {
        case CommandLine::Action::help:
            print(stdout, CommandLine::helpText());
            return 0;
        case CommandLine::Action::version:
            print(stdout, CommandLine::versionText());
            return 0;
        case CommandLine::Action::error:
            print(stderr, QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n")
                              .arg(QLatin1String(appinfo::kExecutable), command.error));
            return 2;
        case CommandLine::Action::list:
            return printAppList(argc, argv, command);
        case CommandLine::Action::command:
            return sendCommand(argc, argv, command);
        case CommandLine::Action::run:
            break;
    }

    if (!hasDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        print(stderr, noDisplayMessage());
        return 1;
    }
    return runApplication(argc, argv, command);
}

int Launcher::runApplication(int argc, char** argv, const CommandLine& command) {
    ResourceLimits::raiseOpenFileLimit();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(appinfo::kName));
    QApplication::setApplicationVersion(QLatin1String(appinfo::kVersion));
    QApplication::setDesktopFileName(QLatin1String(appinfo::kApplicationId));
    QApplication::setQuitOnLastWindowClosed(false);

    // Before anything is read or written: a second start only asks the first to open its menu.
    SingleInstance instance{QLatin1String(appinfo::kApplicationId)};
    if (instance.acquire() == SingleInstance::Role::secondary) {
        if (instance.activatePrimary(command.preferences ? SingleInstance::Request::openPreferences
                                                         : SingleInstance::Request::performMenu)) {
            return 0;
        }
        print(stderr, QStringLiteral("%1: another instance runs but does not answer\n")
                          .arg(QLatin1String(appinfo::kExecutable)));
        return 1;
    }

    QtDispatcher dispatcher;
    NotificationBus bus(dispatcher);
    NotificationBus::setDefaultCenter(&bus);

    QString error;
    Platform platform = buildLinuxPlatform(&error);
    if (!platform.workspace) {
        print(stderr, QStringLiteral("%1: %2\n").arg(QLatin1String(appinfo::kExecutable), error));
        NotificationBus::setDefaultCenter(nullptr);
        return 1;
    }
    setStandardUserDefaults(platform.defaults.get());
    LaunchAtLogin::setBackend(platform.loginItems.get());
    Preferences::shared();
    CPU cpu(platform.processStatus.get());
    CPU::setShared(&cpu);

    UserNotifications notifications(*platform.notificationCenter, *platform.notificationSettings,
                                    dispatcher, *platform.defaults);
    if (auto* file = dynamic_cast<FileUserDefaults*>(platform.defaults.get())) {
        // Another writer holding the lock must not freeze the windows.
        file->saveInBackground(&dispatcher);
        // Saves may fail on any thread; the user hears of it once, from the main thread.
        const QString location = file->path();
        file->setSaveFailureHandler([&dispatcher, &notifications, location](const QString&) {
            dispatcher.main(
                [&notifications, location] { notifications.settingsCannotBeSaved(location); });
        });
    }
    Sound::setBackend(platform.soundPlayer.get(), &dispatcher);

    const std::unique_ptr<StatusItem> statusItemHolder = createStatusItem();
    StatusItem& statusItem = *statusItemHolder;
    RealClock clock;
    AppDelegate delegate({dispatcher, clock, *platform.workspace, *platform.defaults,
                          *platform.telemetry, platform.compositor.get(), platform.hotKeys.get(),
                          statusItem, notifications, *platform.releaseFeed,
                          QLatin1String(appinfo::kVersion), platform.shortcutsNotice,
                          platform.shortcutsSettings});
    QObject::connect(&instance, &SingleInstance::activationRequested, &delegate,
                     &AppDelegate::performMenu);
    QObject::connect(&statusItem, &StatusItem::quitRequested, &app, &QApplication::quit);
    QObject::connect(&instance, &SingleInstance::preferencesRequested, &delegate,
                     &AppDelegate::openPreferences);
    instance.setCommandHandler([&delegate](const QString& name, const QString& argument) {
        return delegate.runCommand(name, argument);
    });
    delegate.applicationDidFinishLaunching();
    if (command.preferences) {
        delegate.openPreferences();
    }

    const int status = QApplication::exec();
    dispatcher.waitForBackground();
    if (auto* file = dynamic_cast<FileUserDefaults*>(platform.defaults.get())) {
        file->flush();
        file->saveInBackground(nullptr);
    }
    Sound::setBackend(nullptr, nullptr);
    if (auto* file = dynamic_cast<FileUserDefaults*>(platform.defaults.get())) {
        file->setSaveFailureHandler(nullptr);
    }
    CPU::setShared(nullptr);
    LaunchAtLogin::setBackend(nullptr);
    setStandardUserDefaults(nullptr);
    NotificationBus::setDefaultCenter(nullptr);
    return status;
}

Platform Launcher::buildLinuxPlatform(QString* error) {
    Platform platform;
    QString backend;
    platform.workspace = createWorkspace(error, &backend, true);
    if (!platform.workspace && isWaylandSession()) {
        // The menu says so in place of a list; the X11 programs alone would pass for the
        // desktop, and nothing is quit where nothing can be seen.
        logger.log(error->toStdString(), VezizurLevel::error);
        backend = QStringLiteral("none (%1)").arg(*error);
        platform.workspace = std::make_unique<BlindWorkspace>(QCoreApplication::translate(
            "klosia::Launcher",
            "This desktop does not let Klosia see other applications' windows."));
    }
    if (!platform.workspace) {
        return platform;
    }
    logger.log("workspace: " + backend.toStdString(), VezizurLevel::info);
    platform.defaults = std::make_unique<FileUserDefaults>(FileUserDefaults::defaultPath());
    platform.loginItems = std::make_unique<XdgAutostart>();
    platform.processStatus = std::make_unique<ProcProcessStatus>();
    platform.telemetry = std::make_unique<LocalTelemetry>();
    platform.notificationCenter = std::make_unique<FreedesktopNotifications>();
    platform.notificationSettings = std::make_unique<DesktopNotificationSettings>();
    platform.soundPlayer = std::make_unique<CanberraSoundPlayer>(SoundFiles::directories());
    if (isWaylandSession() && QGuiApplication::platformName() == QLatin1String("wayland")) {
        // The windows are Wayland ones: the compositor composites and places them.
        platform.compositor = std::make_unique<WaylandCompositor>(qEnvironmentVariable("SWAYSOCK"));
    } else {
        QString compositorError;
        platform.compositor = createX11Compositor(&compositorError);
    }
    if (QGuiApplication::platformName() == QLatin1String("wayland") &&
        PortalHotKeyService::available()) {
        // KDE Plasma: the desktop binds the keys it is proposed, and the user changes them there.
        platform.hotKeys = std::make_unique<PortalHotKeyService>();
        platform.shortcutsNotice = QCoreApplication::translate(
            "klosia::Launcher",
            "This desktop decides the keys of Klosia's three shortcuts: the ones set here "
            "are proposed to it once, and you change them in its shortcut settings.");
        platform.shortcutsSettings = {QStringLiteral("systemsettings"), QStringLiteral("kcm_keys")};
        logger.log("global shortcuts: through the desktop's GlobalShortcuts portal",
                   VezizurLevel::info);
    } else if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        // Keys grabbed through Xwayland would reach us only while an X11 window has the focus.
        platform.shortcutsNotice = waylandShortcutsNotice();
        logger.log("global shortcuts: none on Wayland; bind the commands in the compositor",
                   VezizurLevel::info);
    } else {
        QString hotKeyError;
        platform.hotKeys = createX11HotKeyService(&hotKeyError);
    }
    platform.releaseFeed = std::make_unique<HttpReleaseFeed>(releaseFeedAddress());
    return platform;
}

}  // namespace klosia
