#include <gtest/gtest.h>

#include "platform/linux/DesktopNotificationSettings.h"

using namespace klosia;

namespace {

// A finder that knows only the given programs, under /usr/bin.
DesktopNotificationSettings::ProgramFinder installed(const QStringList& programs) {
    return [programs](const QString& name) {
        return programs.contains(name) ? QStringLiteral("/usr/bin/") + name : QString();
    };
}

QStringList command(const char* desktop, const QStringList& programs) {
    return DesktopNotificationSettings::command(QLatin1String(desktop), installed(programs));
}

TEST(NotificationSettingsCommand, EachKnownDesktopOpensItsOwnPage) {
    const QStringList all{QStringLiteral("gnome-control-center"), QStringLiteral("systemsettings"),
                          QStringLiteral("kcmshell5"), QStringLiteral("xfce4-notifyd-config")};
    EXPECT_EQ(command("GNOME", all), QStringList({QStringLiteral("/usr/bin/gnome-control-center"),
                                                  QStringLiteral("notifications")}));
    // Lists name the most specific desktop first; case does not matter.
    EXPECT_EQ(command("ubuntu:GNOME", all).value(0),
              QStringLiteral("/usr/bin/gnome-control-center"));
    EXPECT_EQ(command("kde", all), QStringList({QStringLiteral("/usr/bin/systemsettings"),
                                                QStringLiteral("kcm_notifications")}));
    EXPECT_EQ(command("XFCE", all), QStringList({QStringLiteral("/usr/bin/xfce4-notifyd-config")}));
}

TEST(NotificationSettingsCommand, OnlyInstalledProgramsAndKnownDesktopsCount) {
    // An older Plasma has only the module shell.
    EXPECT_EQ(
        command("KDE", {QStringLiteral("kcmshell5")}),
        QStringList({QStringLiteral("/usr/bin/kcmshell5"), QStringLiteral("kcm_notifications")}));
    // The first desktop of the list with an installed program wins.
    EXPECT_EQ(command("XFCE:GNOME", {QStringLiteral("gnome-control-center")}).value(0),
              QStringLiteral("/usr/bin/gnome-control-center"));
    EXPECT_TRUE(command("GNOME", {QStringLiteral("xfce4-notifyd-config")}).isEmpty());
    EXPECT_TRUE(command("Openbox", {QStringLiteral("gnome-control-center")}).isEmpty());
    EXPECT_TRUE(command("", {QStringLiteral("gnome-control-center")}).isEmpty());
    // A desktop name is matched whole, never as a part of another.
    EXPECT_TRUE(command("GNOME-Flashback-Like-KDEX", {QStringLiteral("systemsettings")}).isEmpty());
}

}  // namespace
