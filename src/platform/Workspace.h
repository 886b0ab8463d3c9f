#pragma once

#include <QString>

#include <functional>
#include <vector>

#include "platform/RunningApplication.h"

namespace klosia {

// A window as another list of the same desktop may show it too: a Wayland compositor lists an
// X11 program's windows beside its own, by one of these ids and the title.
struct ListedWindow {
    std::vector<QString> appIds;
    QString title;
};

// A line above the list: what the desktop lets the list show, and the one step that gives it
// more, as a button. Empty text: none.
struct WorkspaceBanner {
    QString text;
    QString buttonTitle;
    std::function<void()> press;
};

// The running applications of the user's desktop.
class Workspace {
public:
    using Event = std::function<void(const RunningApplicationPtr&)>;

    virtual ~Workspace() = default;

    // A snapshot in a stable order: an application keeps its place relative to the others
    // between calls (first seen, first listed). Main thread. While the workspace follows the
    // desktop (an event loop runs) both calls answer from what it knows, without reading
    // anything: cheap enough for every second.
    virtual std::vector<RunningApplicationPtr> runningApplications() = 0;
    // The same list as far as the workspace already knows it, without asking for a fresh look
    // even when the list is old: for checks that run every second and need only what the
    // desktop's events keep current (applications with windows, the active one).
    virtual std::vector<RunningApplicationPtr> knownApplications() { return runningApplications(); }
    // The application of the active window, or nullptr.
    virtual RunningApplicationPtr frontmostApplication() = 0;
    // Why the list is empty by the desktop's own rule (it lets no program see the others'
    // windows), in a sentence the menu shows instead of the list; empty for a desktop that
    // tells. Nothing is ever quit through a workspace that has a reason.
    virtual QString unavailableReason() const { return {}; }
    // Whether isActive() and frontmostApplication() tell which application the user works
    // in. Where they cannot, every application would look like one left in the background.
    virtual bool knowsActiveApplication() const { return true; }
    // While on, the workspace checks that applications answer (isResponding()); on while the
    // menu is open, since the checks cost every client a little.
    virtual void setWatchingResponses(bool /*on*/) {}
    // With the watch on, for one look without an event loop: waits until the applications
    // answered or were given up on.
    virtual void awaitResponses() {}
    // The line the menu shows above the list, when the list is a partial one.
    virtual WorkspaceBanner banner() const { return {}; }
    // The windows of the latest list, for a list of the same desktop that shows them too and
    // cannot tell whose they are; empty where not known.
    virtual std::vector<ListedWindow> listedWindows() const { return {}; }

    // Called on the main thread when an application appears or ends: a launch once
    // runningApplications() lists it, a termination once it no longer does.
    void setDidLaunchHandler(Event handler) { didLaunch_ = std::move(handler); }
    void setDidTerminateHandler(Event handler) { didTerminate_ = std::move(handler); }

protected:
    void postDidLaunch(const RunningApplicationPtr& app) const {
        if (didLaunch_) {
            didLaunch_(app);
        }
    }
    void postDidTerminate(const RunningApplicationPtr& app) const {
        if (didTerminate_) {
            didTerminate_(app);
        }
    }

private:
    Event didLaunch_;
    Event didTerminate_;
};

}  // namespace klosia
