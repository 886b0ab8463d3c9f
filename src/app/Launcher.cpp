#include "app/Launcher.h"

#include <QApplication>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <cstdio>
#include <memory>

#include "app/CommandLine.h"
#include "app/StatusIconImage.h"
#include "core/AppInfo.h"
#include "core/NotificationBus.h"
#include "core/QtDispatcher.h"
#include "log/Vezizur.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/linux/FileUserDefaults.h"
#include "platform/linux/XdgAutostart.h"
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
        case CommandLine::Action::run:
            break;
    }

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        print(stderr, QStringLiteral("%1: no X display: DISPLAY is not set\n")
                          .arg(QLatin1String(appinfo::kExecutable)));
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
    NotificationBus::setDefaultCenter(nullptr);
    LaunchAtLogin::setBackend(nullptr);
    setStandardUserDefaults(nullptr);
    return status;
}

}  // namespace klosia
