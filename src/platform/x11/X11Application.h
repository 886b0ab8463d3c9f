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
#include "platform/x11/WindowOwner.h"

namespace klosia {

class XcbConnection;
struct X11Snapshot;

// What every application of the X desktop shares, whoever owns its windows: the identity, icon,
// kind and active flag the workspace keeps up to date on the main thread, and activation. The
// requests may be called from any thread.
class X11Application : public RunningApplication {
public:
    QString localizedName() const override;
    QString bundleIdentifier() const override;
    QIcon icon() const override;
    ActivationPolicy activationPolicy() const override;
    bool isActive() const override;
    bool activate() override;

    // Whose windows these are.
    virtual WindowOwner owner() const = 0;
    // For log lines: "pid 412", "X client 0x1a00000 on build-host".
    virtual std::string describe() const = 0;

    // Set by the workspace.
    void setIdentity(const QString& bundleIdentifier, const QString& name, const QString& iconName);
    void setIconWindow(std::uint32_t window);
    void setActivationPolicy(ActivationPolicy policy);
    void setActive(bool active);
    void markTerminated();

    QString iconName() const;
    std::uint32_t iconWindow() const;

    // How the workspace found the identity, so that it knows when to look again: when the
    // window's identifying properties change (WM_CLASS set late), or, for an identity found
    // without a desktop entry, when the entries were read anew. Main thread only.
    struct IdentitySource {
        QString hints;
        bool fromDesktopEntry = false;
        std::uint64_t entriesGeneration = 0;
    };
    const IdentitySource& identitySource() const { return identitySource_; }
    void setIdentitySource(IdentitySource source) { identitySource_ = std::move(source); }

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
    mutable std::optional<QIcon> icon_;

    std::atomic<ActivationPolicy> policy_{ActivationPolicy::regular};
    std::atomic<bool> active_{false};
    IdentitySource identitySource_;
};

}  // namespace klosia
