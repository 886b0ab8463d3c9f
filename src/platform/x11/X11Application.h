#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/RunningApplication.h"
#include "platform/x11/WindowIcons.h"
#include "platform/x11/WindowOwner.h"

namespace klosia {

class X11Pinger;

class XcbConnection;
struct X11Snapshot;

// What every application of the X desktop shares, whoever owns its windows: the identity, icon,
// kind and active flag the workspace keeps up to date on the main thread, and activation. The
// requests and getters may be called from any thread, except icon().
class X11Application : public RunningApplication {
public:
    QString localizedName() const override;
    QString bundleIdentifier() const override;
    // GUI thread only (asserted; elsewhere it answers an empty icon and logs once): a QIcon
    // holds pixmaps. It never holds a lock while it reads from the X server, and reads only when
    // the workspace has not read the window's icon already (it does while it follows the
    // desktop, on its own thread).
    QIcon icon() const override;
    ActivationPolicy activationPolicy() const override;
    pid_t helperOf() const override { return helperOf_.load(); }
    bool isActive() const override;
    bool activate() override;
    // False while a window of it that answers pings has not answered one for a while; true
    // where nothing pings (the menu is closed) or no window of it answers pings.
    bool isResponding() const override;
    void setPings(std::shared_ptr<const X11Pinger> pinger, std::vector<std::uint32_t> windows);

    // Whose windows these are.
    virtual WindowOwner owner() const = 0;
    // For log lines: "pid 412", "X client 0x1a00000 on build-host".
    virtual std::string describe() const = 0;

    // Set by the workspace.
    void setIdentity(const QString& bundleIdentifier, const QString& name, const QString& iconName);
    void setIconWindow(std::uint32_t window);
    // The images of the icon window's _NET_WM_ICON, read off the GUI thread.
    void setWindowIcon(WindowIcon images);
    void setActivationPolicy(ActivationPolicy policy);
    void setHelperOf(pid_t application) { helperOf_.store(application); }
    void setActive(bool active);
    void markTerminated();
    // Whether markTerminated() was called: the workspace's own knowledge, without a look at the
    // process or the server.
    bool isMarkedTerminated() const { return terminated_.load(); }

    QString iconName() const;
    std::uint32_t iconWindow() const;

protected:
    explicit X11Application(std::shared_ptr<XcbConnection> connection);

    // Asks each of `windows` (indices into the snapshot) to close: through the window manager
    // when it handles _NET_CLOSE_WINDOW, else with the ICCCM message to the window itself, as a
    // window manager would send it. Only for windows that take WM_DELETE_WINDOW. True when
    // every request was accepted.
    bool askToClose(const X11Snapshot& snapshot, const std::vector<std::size_t>& windows) const;

    // Of `windows`, those that take WM_DELETE_WINDOW.
    static std::vector<std::size_t> askable(const X11Snapshot& snapshot,
                                            const std::vector<std::size_t>& windows);

    // Whether the snapshot shows our owner as part of the desktop itself; logs the refusal.
    bool refusedAsDesktop(const X11Snapshot& snapshot, const char* request) const;

    const std::shared_ptr<XcbConnection> connection_;
    mutable std::atomic<bool> terminated_{false};

private:
    mutable std::mutex mutex_;
    QString bundleIdentifier_;
    QString name_;
    QString iconName_;
    std::uint32_t iconWindow_ = 0;
    mutable WindowIcon windowIcon_;  // null until read
    // Counts changes of what the icon is made of; an icon built from an older state is not kept.
    std::uint64_t iconGeneration_ = 0;
    mutable std::optional<QIcon> icon_;
    mutable std::uint64_t iconBuiltFrom_ = 0;

    std::atomic<ActivationPolicy> policy_{ActivationPolicy::regular};
    std::atomic<bool> active_{false};
    std::atomic<pid_t> helperOf_{0};
    std::shared_ptr<const X11Pinger> pinger_;  // under mutex_, with pingWindows_
    std::vector<std::uint32_t> pingWindows_;
};

}  // namespace klosia
