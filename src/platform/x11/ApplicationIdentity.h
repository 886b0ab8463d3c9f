#pragma once

#include <QString>
#include <QStringList>

namespace klosia {

class DesktopEntries;
struct WindowRecord;

// Who an application is: the desktop entry it was installed with, or what its window says.
struct ApplicationIdentity {
    QString bundleIdentifier;
    QString name;
    QString iconName;  // theme name or path of the entry's icon; empty without an entry
    bool fromDesktopEntry = false;
};

// The entry that matches the window's properties and the process's program, else WM_CLASS's
// class as identifier and name (the title or the program's file name when there is no class).
// `window` may be null for a process known only by its tray icon.
ApplicationIdentity identifyApplication(const DesktopEntries& entries, const WindowRecord* window,
                                        const QString& exePath, const QStringList& cmdline);

}  // namespace klosia
