#pragma once

#include <QDBusConnection>

#include <chrono>
#include <map>
#include <memory>

#include "platform/wayland/WaylandToplevels.h"

class QDBusServiceWatcher;

namespace klosia {

class GnomeShellSignals;

// GNOME Shell's windows, as Klosia's own Shell extension lists them on the session bus: GNOME
// gives no Wayland client the windows of others. The extension serves the running Klosia alone
// (the owner of its well-known name), with the pid Mutter knows for each window. The Wayland
// connection of the base class stays open only for the seat and the compositor's liveness.
class GnomeShellWindows : public WaylandToplevels {
public:
    static constexpr const char* kUuid = "klosia@klosia.org";
    static constexpr const char* kService = "org.klosia.Shell";
    static constexpr const char* kPath = "/org/klosia/Shell";
    static constexpr const char* kInterface = "org.klosia.Shell1";
    static constexpr std::uint32_t kVersion = 1;
    // How long start-up waits for the extension, which offers its interface only once it has
    // seen Klosia's name on the bus.
    static constexpr std::chrono::milliseconds kStartWait{3000};

    // The extension's list, once it answers on `bus`; nothing, with `error`, when the Shell
    // offers no such extension (not installed, not enabled) or one of another version.
    static std::unique_ptr<GnomeShellWindows> connect(
        QString* error, const QDBusConnection& bus = QDBusConnection::sessionBus(),
        std::chrono::milliseconds wait = kStartWait);
    // Whether the Shell of this session has the extension enabled, by the Shell's own word.
    static bool extensionEnabled(const QDBusConnection& bus = QDBusConnection::sessionBus());

    ~GnomeShellWindows() override;
    GnomeShellWindows(const GnomeShellWindows&) = delete;
    GnomeShellWindows& operator=(const GnomeShellWindows&) = delete;

    std::vector<Toplevel> toplevels() const override { return toplevels_; }
    bool close(std::uint32_t id) override;
    bool activate(std::uint32_t id) override;
    QString protocol() const override { return QStringLiteral("GNOME Shell extension"); }
    bool pidsFromCompositor() const override { return true; }

    // Reads the list anew; false when the extension did not answer (the list is then empty:
    // windows nobody can vouch for are not listed).
    bool refresh();

private:
    explicit GnomeShellWindows(const QDBusConnection& bus);
    bool call(const char* method, std::uint32_t id);

    QDBusConnection bus_;
    std::unique_ptr<GnomeShellSignals> signals_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::vector<Toplevel> toplevels_;
    std::map<quint64, std::uint32_t> ours_;  // the Shell's window id to ours
};

}  // namespace klosia
