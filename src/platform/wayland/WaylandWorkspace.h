#pragma once

#include <QString>

#include <map>
#include <memory>
#include <vector>

#include "platform/Workspace.h"
#include "platform/wayland/SwayTree.h"

class QSocketNotifier;

namespace klosia {

class DesktopEntries;
class WaylandApplication;
class WaylandToplevels;

// The applications of a Wayland desktop: the compositor's list of toplevels (KWin's, with each
// window's pid, or wlroots', with the pid from sway's IPC where it runs), and the X11 programs
// under Xwayland from the X11 workspace, which knows their true owners. A window of an X11
// program (sway calls it an X11 view; KWin names a pid the X side lists) is left to the X side,
// so each application is listed once, and Xwayland itself never is. The windowless helpers of
// a listed process come from /proc, by the same rule as on X11.
class WaylandWorkspace : public Workspace {
public:
    enum class Updates { followDesktop, onCall };

    WaylandWorkspace(std::shared_ptr<WaylandToplevels> toplevels, std::unique_ptr<Workspace> x11,
                     Updates updates);
    ~WaylandWorkspace() override;

    std::vector<RunningApplicationPtr> runningApplications() override;
    std::vector<RunningApplicationPtr> knownApplications() override;
    RunningApplicationPtr frontmostApplication() override;
    // The X side's windows are pinged; the Wayland protocols have no ping for other clients.
    void setWatchingResponses(bool on) override {
        if (x11_) {
            x11_->setWatchingResponses(on);
        }
    }
    void awaitResponses() override {
        if (x11_) {
            x11_->awaitResponses();
        }
    }

    // What start-up logs and --list prints: the protocol and where the pids come from.
    QString description() const;

private:
    void rebuild(bool announce);
    // The windowless helpers of the listed processes, found anew in /proc: they come and go
    // without a word from the compositor.
    void findHelpers();
    // Ours first, in the order first seen, then the X11 programs.
    std::vector<RunningApplicationPtr> withX11(const std::vector<RunningApplicationPtr>& x11) const;

    std::shared_ptr<WaylandToplevels> toplevels_;
    std::unique_ptr<Workspace> x11_;
    std::unique_ptr<DesktopEntries> entries_;
    std::unique_ptr<QSocketNotifier> notifier_;
    Updates updates_;
    QString swaySocket_;
    bool pidsFromProtocol_;
    bool changed_ = false;  // the compositor reported a change since the last listing
    // By key (the pid, or the app_id where no pid is known), in the order first seen.
    std::vector<std::pair<QString, std::shared_ptr<WaylandApplication>>> apps_;
    std::vector<std::shared_ptr<WaylandApplication>> helpers_;
    std::vector<SwayTree::View> lastViews_;  // sway's latest answer
};

// A workspace for the compositor of WAYLAND_DISPLAY; nullptr and a message in *error when it
// offers no list of windows. `x11` (may be null) lists the programs under Xwayland.
std::unique_ptr<WaylandWorkspace> createWaylandWorkspace(QString* error,
                                                         std::unique_ptr<Workspace> x11,
                                                         WaylandWorkspace::Updates updates);

}  // namespace klosia
