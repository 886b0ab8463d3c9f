#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include "platform/NotificationSettings.h"

namespace klosia {

// Opens the notification settings of the running desktop: GNOME's control centre, KDE's
// system settings module, Xfce's notification daemon settings. The desktop comes from
// XDG_CURRENT_DESKTOP (a colon-separated list, most specific first); the program must be
// installed. Other desktops have no known page: open() then does nothing and returns false.
class DesktopNotificationSettings final : public NotificationSettings {
public:
    // Resolves a program name to its path, empty when it is not installed.
    using ProgramFinder = std::function<QString(const QString& name)>;

    bool open() override;

    // The program (resolved) and its arguments for the desktops in `currentDesktop`; empty
    // when none is known or installed.
    static QStringList command(const QString& currentDesktop, const ProgramFinder& find);
};

}  // namespace klosia
