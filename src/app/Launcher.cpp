#include "app/Launcher.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "app/AppListPrinter.h"
#include "app/CommandLine.h"
#include "app/StatusIconImage.h"
#include "core/AppInfo.h"
#include "core/NotificationBus.h"
#include "core/QtDispatcher.h"
#include "log/Vezizur.h"
#include "model/AppListState.h"
#include "model/CPU.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/linux/FileUserDefaults.h"
#include "platform/linux/ProcProcessStatus.h"
#include "platform/linux/XdgAutostart.h"
#include "platform/x11/X11Workspace.h"
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

bool hasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY");
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
    const std::unique_ptr<Workspace> workspace = createX11Workspace(&error);
    int status = 0;
    if (!workspace) {
        print(stderr, QStringLiteral("%1: %2\n").arg(QLatin1String(appinfo::kExecutable), error));
        status = 1;
    } else {
        AppListSettings settings = AppListSettings::from(preferences);
        settings.showBackgroundApps = settings.showBackgroundApps || command.background;
        AppListState state(&defaults);
        const auto apps = state.rebuild(workspace->runningApplications(), settings);
        print(stdout, command.json ? AppListPrinter::json(apps) : AppListPrinter::table(apps));
    }
    NotificationBus::setDefaultCenter(nullptr);
    setStandardUserDefaults(nullptr);
    return status;
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
        case CommandLine::Action::run:
            break;
    }

    if (!hasDisplay() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        print(stderr, noDisplayMessage());
        return 1;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QLatin1String(appinfo::kName));
    QApplication::setApplicationVersion(QLatin1String(appinfo::kVersion));
    QApplication::setDesktopFileName(QLatin1String(appinfo::kApplicationId));
    QApplication::setQuitOnLastWindowClosed(false);

    QtDispatcher dispatcher;
    NotificationBus bus(dispatcher);
    NotificationBus::setDefaultCenter(&bus);
    FileUserDefaults defaults(FileUserDefaults::defaultPath());
    setStandardUserDefaults(&defaults);
    XdgAutostart autostart;
    LaunchAtLogin::setBackend(&autostart);
    Preferences::shared();
    ProcProcessStatus processStatus;
    CPU cpu(&processStatus);
    CPU::setShared(&cpu);

    QSystemTrayIcon tray(statusIconImage());
    tray.setToolTip(QLatin1String(appinfo::kName));
    QMenu menu;
    QObject::connect(menu.addAction(QStringLiteral("Quit %1").arg(QLatin1String(appinfo::kName))),
                     &QAction::triggered, &app, &QApplication::quit);
    tray.setContextMenu(&menu);
    tray.show();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        logger.log("no system tray yet: the icon appears once a tray starts", VezizurLevel::info);
    }

    const int status = QApplication::exec();
    dispatcher.waitForBackground();
    CPU::setShared(nullptr);
    NotificationBus::setDefaultCenter(nullptr);
    LaunchAtLogin::setBackend(nullptr);
    setStandardUserDefaults(nullptr);
    return status;
}

}  // namespace klosia
