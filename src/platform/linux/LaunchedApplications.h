#pragma once

#include <QDBusConnection>
#include <QString>

#include <memory>
#include <vector>

#include "platform/Workspace.h"

namespace klosia {

class DesktopEntries;
class LaunchedApplication;

// The user's applications as their launchers started them, for a desktop that shows no program
// the windows of the others: one per systemd unit whose name names an application (see
// SystemdUnit) installed with a desktop entry, which gives its name and icon. Its pid is the
// unit's process started from outside the unit (the smallest, when there are several). Other
// users' processes are not looked at, and the unit Klosia itself runs in is never listed: a
// force quit of it would end Klosia with it.
//
// Nothing tells when a unit comes or goes, so runningApplications() looks at /proc again (one
// small file per process, the rest only for processes of application units) and posts the
// launches and terminations since the previous look; knownApplications() answers from that
// look. A unit counts as another application once the process it was listed by has gone.
class LaunchedApplications : public Workspace {
public:
    // `procRoot` is where processes are looked for (a test's tree of the same files); `entries`
    // are the desktop's own when null. The first look is taken here, without posting.
    explicit LaunchedApplications(QDBusConnection bus, QString procRoot = QStringLiteral("/proc"),
                                  std::unique_ptr<DesktopEntries> entries = nullptr);
    ~LaunchedApplications() override;
    LaunchedApplications(const LaunchedApplications&) = delete;
    LaunchedApplications& operator=(const LaunchedApplications&) = delete;

    std::vector<RunningApplicationPtr> runningApplications() override;
    std::vector<RunningApplicationPtr> knownApplications() override;
    // Which window is active is what this desktop tells nobody: never known here.
    RunningApplicationPtr frontmostApplication() override { return nullptr; }
    bool knowsActiveApplication() const override { return false; }

    // What start-up logs and --list print.
    static QString description();

private:
    void rescan(bool announce);
    std::vector<RunningApplicationPtr> snapshot() const;

    QDBusConnection bus_;
    QString procRoot_;
    std::unique_ptr<DesktopEntries> entries_;
    // In the order first seen.
    std::vector<std::shared_ptr<LaunchedApplication>> apps_;
};

}  // namespace klosia
