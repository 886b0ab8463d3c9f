#pragma once

#include <QIcon>
#include <QString>

#include <sys/types.h>
#include <cstdint>
#include <memory>

namespace klosia {

// How an application takes part in the desktop.
enum class ActivationPolicy {
    regular,     // has a window a task bar shows
    accessory,   // only auxiliary windows (skip-taskbar, utility) or a tray icon
    prohibited,  // no window: a background process of a listed application
};

const char* activationPolicyName(ActivationPolicy policy);

// One running process of the user as the workspace sees it, or an application without a local
// process (an X client on another host or behind a proxy). A handle stays valid after its
// application ends: isTerminated() then reads true and every request answers false.
class RunningApplication {
public:
    virtual ~RunningApplication() = default;

    // 0 when there is no local process: such an application is never signalled, has no
    // processor load and is listed without a pid.
    virtual pid_t processIdentifier() const = 0;
    // Kernel start time of the process (clock ticks after boot): with the pid it names exactly
    // one process, so a reused pid is never mistaken for this one. 0 without a local process.
    virtual std::uint64_t startTime() const = 0;
    // Empty when unknown.
    virtual QString localizedName() const = 0;
    virtual QString bundleIdentifier() const = 0;
    // Call it on the GUI thread only: a QIcon holds pixmaps, which no other thread may make.
    // Implementations assert that, and answer an empty icon on any other thread.
    virtual QIcon icon() const = 0;
    virtual ActivationPolicy activationPolicy() const = 0;
    // For a windowless helper of an application (a browser's content process): the pid of that
    // application, with which it ends. 0 for anything else.
    virtual pid_t helperOf() const { return 0; }
    virtual bool isActive() const = 0;
    // False while the desktop sees the application hang (its windows do not answer); true where
    // nothing tells.
    virtual bool isResponding() const { return true; }
    virtual bool isTerminated() const = 0;

    // The polite request: the application may ask the user, save, or refuse. True when the
    // request was sent.
    virtual bool terminate() = 0;
    // Why terminate() cannot ask this application at all, in a sentence the menu shows the
    // user; empty when it can. Decided when the application was found and kept: cheap enough
    // for every fill of a row, on the GUI thread.
    virtual QString quitUnavailableReason() const { return {}; }
    // Ends the process without asking; without a local process, closes the application's
    // connection to the display instead. True when the signal (or request) was sent.
    virtual bool forceTerminate() = 0;
    virtual bool activate() = 0;
};

using RunningApplicationPtr = std::shared_ptr<RunningApplication>;

}  // namespace klosia
