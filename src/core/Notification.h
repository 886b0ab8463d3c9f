#pragma once

#include <QString>

#include <memory>
#include <string>

namespace klosia {

// A value sent with a notification; its description appears in the bus's log lines.
class NotificationObject {
public:
    virtual ~NotificationObject() = default;
    virtual std::string description() const = 0;
};

struct Notification {
    QString name;
    std::shared_ptr<const NotificationObject> object;
};

// The program's notification names.
namespace names {
inline const QString preferencesDidChanged = QStringLiteral("PreferencesDidChanged");
inline const QString shortcutsDidChanged = QStringLiteral("ShortcutsDidChanged");
inline const QString menuDeselectedAppsDidChanged = QStringLiteral("MenuDeselectedAppsDidChanged");
inline const QString menuDidChanged = QStringLiteral("MenuDidChanged");
inline const QString cpuDidChanged = QStringLiteral("CPUDidChanged");
inline const QString appWillQuit = QStringLiteral("AppWillQuit");
inline const QString appWillForceQuit = QStringLiteral("AppWillForceQuit");
// The workspace's own names, re-posted on the program's bus.
inline const QString didLaunchApplication = QStringLiteral("WorkspaceDidLaunchApplication");
inline const QString didTerminateApplication = QStringLiteral("WorkspaceDidTerminateApplication");
}  // namespace names

}  // namespace klosia
