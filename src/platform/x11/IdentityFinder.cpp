#include "platform/x11/IdentityFinder.h"

#include "platform/linux/DesktopEntries.h"
#include "platform/linux/ProcessInfo.h"
#include "platform/x11/ApplicationIdentity.h"
#include "platform/x11/WindowRecord.h"
#include "platform/x11/X11Application.h"

namespace klosia {

IdentityFinder::IdentityFinder()
    : entries_(std::make_unique<DesktopEntries>()), lastReload_(std::chrono::steady_clock::now()) {}

IdentityFinder::~IdentityFinder() = default;

void IdentityFinder::identify(X11Application& app, const WindowRecord* window, pid_t pid,
                              bool again) {
    X11Application::IdentitySource source;
    if (window != nullptr) {
        source.hints = window->gtkApplicationId + QLatin1Char('\n') + window->kdeDesktopFile +
                       QLatin1Char('\n') + window->wmInstance + QLatin1Char('\n') + window->wmClass;
    }
    const X11Application::IdentitySource& before = app.identitySource();
    if (again && before.hints == source.hints &&
        (before.fromDesktopEntry || before.entriesGeneration == entries_->generation())) {
        return;
    }
    const QString exe = ProcessInfo::exePath(pid);
    const QStringList cmdline = ProcessInfo::cmdline(pid);
    ApplicationIdentity identity = identifyApplication(*entries_, window, exe, cmdline);
    if (!identity.fromDesktopEntry) {
        // Perhaps it was installed after we read the entries.
        reloadIfDue();
        identity = identifyApplication(*entries_, window, exe, cmdline);
    }
    source.fromDesktopEntry = identity.fromDesktopEntry;
    source.entriesGeneration = entries_->generation();
    app.setIdentitySource(std::move(source));
    app.setIdentity(identity.bundleIdentifier, identity.name, identity.iconName);
}

void IdentityFinder::reloadIfDue() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastReload_ >= kReloadInterval) {
        lastReload_ = now;
        entries_->reload();
    }
}

}  // namespace klosia
