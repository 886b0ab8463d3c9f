#pragma once

#include <map>
#include <memory>

#include "platform/wayland/WaylandToplevels.h"

struct org_kde_plasma_window_management;
struct org_kde_plasma_window;

namespace klosia {

// KWin's list of every client's windows (org_kde_plasma_window_management), with the pid of
// each from the kernel's credentials of its client. KWin offers it only to a program whose
// installed desktop file names the interface in X-KDE-Wayland-Interfaces; to any other it is
// not advertised at all, which connect() tells apart from a compositor that is not KWin.
class KdeWindows : public WaylandToplevels {
public:
    static std::unique_ptr<KdeWindows> connect(QString* error);
    ~KdeWindows() override;
    KdeWindows(const KdeWindows&) = delete;
    KdeWindows& operator=(const KdeWindows&) = delete;

    std::vector<Toplevel> toplevels() const override;
    bool close(std::uint32_t id) override;
    bool activate(std::uint32_t id) override;
    QString protocol() const override { return QStringLiteral("KDE plasma window management"); }
    bool pidsFromCompositor() const override { return true; }

    struct Window;  // one window of the protocol

private:
    friend struct KdeWindowEvents;
    KdeWindows() = default;

    org_kde_plasma_window_management* manager_ = nullptr;
    std::map<std::uint32_t, std::unique_ptr<Window>> windows_;
};

}  // namespace klosia
