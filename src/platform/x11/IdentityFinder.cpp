#include "platform/x11/IdentityFinder.h"

#include "platform/linux/DesktopEntries.h"
#include "platform/linux/ProcessInfo.h"
#include "platform/x11/ApplicationIdentity.h"
#include "platform/x11/WindowRecord.h"

namespace klosia {

IdentityFinder::IdentityFinder()
    : entries_(std::make_unique<DesktopEntries>()), lastReload_(std::chrono::steady_clock::now()) {}

IdentityFinder::~IdentityFinder() = default;

void IdentityFinder::identify(FoundIdentity& found, const WindowRecord* window, pid_t pid,
                              bool again) {
    QString hints;
    if (window != nullptr) {
        hints = window->gtkApplicationId + QLatin1Char('\n') + window->kdeDesktopFile +
                QLatin1Char('\n') + window->wmInstance + QLatin1Char('\n') + window->wmClass;
    }
    if (again && found.hints == hints &&
        (found.fromDesktopEntry || found.entriesGeneration == entries_->generation())) {
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
    found.bundleIdentifier = identity.bundleIdentifier;
    found.name = identity.name;
    found.iconName = identity.iconName;
    found.hints = std::move(hints);
    found.fromDesktopEntry = identity.fromDesktopEntry;
    found.entriesGeneration = entries_->generation();
}

void IdentityFinder::reloadIfDue() {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastReload_ >= kReloadInterval) {
        lastReload_ = now;
        entries_->reload();
    }
}

}  // namespace klosia
