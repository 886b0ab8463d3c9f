#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "platform/Workspace.h"

class QDBusServiceWatcher;

namespace klosia {

// GNOME's workspace: the windows through our Shell extension while it serves us, else the
// applications their launchers started (systemd units), with a line above the list that says
// so and a button that enables the extension. It changes from one to the other when the
// extension comes or goes on the bus; the applications of the one left end, those of the other
// are launched, as far as the rest of the program can tell.
class GnomeWorkspace final : public Workspace {
public:
    using Factory = std::function<std::unique_ptr<Workspace>(QString* error)>;

    // `withExtension` makes the extension's workspace (nothing, with an error, when it does not
    // serve us); `reduced` the launchers' one. `enable` asks the Shell to enable the extension.
    GnomeWorkspace(Factory withExtension, Factory reduced, std::function<void()> enable);
    ~GnomeWorkspace() override;
    GnomeWorkspace(const GnomeWorkspace&) = delete;
    GnomeWorkspace& operator=(const GnomeWorkspace&) = delete;

    std::vector<RunningApplicationPtr> runningApplications() override;
    std::vector<RunningApplicationPtr> knownApplications() override;
    RunningApplicationPtr frontmostApplication() override;
    QString unavailableReason() const override;
    std::vector<ListedWindow> listedWindows() const override;
    void setWatchingResponses(bool on) override {
        if (current_) {
            current_->setWatchingResponses(on);
        }
    }
    void awaitResponses() override {
        if (current_) {
            current_->awaitResponses();
        }
    }
    bool knowsActiveApplication() const override;
    WorkspaceBanner banner() const override;

    bool usesExtension() const { return usesExtension_; }
    QString description() const;
    // Runs `gnome-extensions enable` for our extension; false when it could not be started.
    static bool enableExtension();

private:
    // Changes to the extension's workspace when it serves us, else to the reduced one.
    void choose();
    void adopt(std::unique_ptr<Workspace> next, bool usesExtension);

    Factory withExtension_;
    Factory reduced_;
    std::function<void()> enable_;
    std::unique_ptr<Workspace> current_;
    bool usesExtension_ = false;
    QString reason_;  // why the extension does not serve us
    std::unique_ptr<QDBusServiceWatcher> watcher_;
};

}  // namespace klosia
