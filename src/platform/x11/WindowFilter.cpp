#include "platform/x11/WindowFilter.h"

#include <algorithm>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace klosia {

namespace {

constexpr std::uint32_t kNeverCounted = windowTypeDock | windowTypeDesktop | windowTypeToolbar |
                                        windowTypeMenu | windowTypeSplash | windowTypeDropdownMenu |
                                        windowTypePopupMenu | windowTypeTooltip |
                                        windowTypeNotification | windowTypeCombo | windowTypeDnd;

// Chains of WM_TRANSIENT_FOR longer than this are broken clients, not real dialogs.
constexpr int kMaxTransientDepth = 32;

using IndexById = std::unordered_map<std::uint32_t, std::size_t>;

// The top of the window's transient chain among the listed windows. A chain that leaves the list
// (transient for the root or an unmanaged window) ends at its last listed window; a cycle ends
// where it closes.
std::size_t leaderOf(const std::vector<WindowRecord>& windows, const IndexById& byId,
                     std::size_t index) {
    std::unordered_set<std::size_t> seen{index};
    std::size_t current = index;
    for (int depth = 0; depth < kMaxTransientDepth; ++depth) {
        const std::uint32_t parent = windows[current].transientFor;
        if (parent == 0 || parent == windows[current].id) {
            break;
        }
        const auto found = byId.find(parent);
        if (found == byId.end() || !seen.insert(found->second).second) {
            break;
        }
        current = found->second;
    }
    return current;
}

bool isTransientWithinList(const WindowRecord& window, const IndexById& byId) {
    return window.transientFor != 0 && window.transientFor != window.id &&
           byId.contains(window.transientFor);
}

// The owner a window counts for, or an unknown one when it does not count at all.
WindowOwner owningOwner(const std::vector<WindowRecord>& windows, const IndexById& byId,
                        std::size_t index, pid_t ownPid) {
    const WindowRecord& window = windows[index];
    if (isNeverCounted(window.types)) {
        return {};
    }
    const WindowRecord& leader = windows[leaderOf(windows, byId, index)];
    if (isNeverCounted(leader.types)) {
        return {};
    }
    const WindowOwner owner = leader.owner.isKnown() ? leader.owner : window.owner;
    if (owner.isProcess() && owner.pid == ownPid) {
        return {};
    }
    return owner;
}

// Owners of the desktop itself; see isDesktopOwner().
std::vector<WindowOwner> desktopOwners(const std::vector<WindowRecord>& windows,
                                       const WindowOwner& windowManager) {
    std::vector<WindowOwner> owners;
    if (windowManager.isKnown()) {
        owners.push_back(windowManager);
    }
    for (const WindowRecord& window : windows) {
        if ((window.types & (windowTypeDock | windowTypeDesktop)) != 0 && window.owner.isKnown() &&
            std::find(owners.begin(), owners.end(), window.owner) == owners.end()) {
            owners.push_back(window.owner);
        }
    }
    return owners;
}

bool contains(const std::vector<WindowOwner>& owners, const WindowOwner& owner) {
    return std::find(owners.begin(), owners.end(), owner) != owners.end();
}

}  // namespace

bool isNeverCounted(std::uint32_t types) {
    return (types & kNeverCounted) != 0;
}

bool isTaskbarWindow(const WindowRecord& window) {
    return !window.skipTaskbar && (window.types & windowTypeUtility) == 0 &&
           !isNeverCounted(window.types);
}

bool isDesktopOwner(const std::vector<WindowRecord>& windows, const WindowOwner& windowManager,
                    const WindowOwner& owner) {
    return owner.isKnown() && contains(desktopOwners(windows, windowManager), owner);
}

WindowGrouping groupWindowsByProcess(const std::vector<WindowRecord>& windows,
                                     std::uint32_t activeWindow, pid_t ownPid,
                                     const std::vector<pid_t>& trayPids,
                                     const WindowOwner& windowManager) {
    IndexById byId;
    byId.reserve(windows.size());
    for (std::size_t i = 0; i < windows.size(); ++i) {
        byId.emplace(windows[i].id, i);
    }
    const std::vector<WindowOwner> desktop = desktopOwners(windows, windowManager);
    const auto counted = [&](std::size_t index) {
        const WindowOwner owner = owningOwner(windows, byId, index, ownPid);
        return contains(desktop, owner) ? WindowOwner{} : owner;
    };

    WindowGrouping result;
    std::map<WindowOwner, std::size_t> slotByOwner;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const WindowOwner owner = counted(i);
        if (!owner.isKnown()) {
            continue;
        }
        auto [slot, inserted] = slotByOwner.emplace(owner, result.processes.size());
        if (inserted) {
            ProcessWindows fresh;
            fresh.owner = owner;
            result.processes.push_back(std::move(fresh));
        }
        ProcessWindows& process = result.processes[slot->second];
        process.windows.push_back(i);
        // A transient folds into its leader: only the leader can be a task bar's entry. One that
        // points outside the list (at the root, say) stands on its own.
        const bool shown = isTaskbarWindow(windows[i]) && !isTransientWithinList(windows[i], byId);
        if (shown && process.policy != ActivationPolicy::regular) {
            process.policy = ActivationPolicy::regular;
            process.primary = i;
        } else if (process.primary == ProcessWindows::none) {
            process.primary = i;
        }
    }

    for (const pid_t pid : trayPids) {
        const WindowOwner owner{pid, 0};
        if (pid > 0 && pid != ownPid && !contains(desktop, owner) && !slotByOwner.contains(owner)) {
            slotByOwner.emplace(owner, result.processes.size());
            ProcessWindows trayOnly;
            trayOnly.owner = owner;
            result.processes.push_back(std::move(trayOnly));
        }
    }

    if (activeWindow != 0) {
        const auto found = byId.find(activeWindow);
        if (found != byId.end()) {
            result.active = counted(found->second);
        }
    }
    return result;
}

std::vector<std::size_t> windowsToClose(const std::vector<WindowRecord>& windows,
                                        const WindowOwner& owner) {
    std::vector<std::size_t> result;
    if (!owner.isKnown()) {
        return result;
    }
    std::unordered_map<std::uint32_t, WindowOwner> ownerById;
    for (const WindowRecord& window : windows) {
        ownerById.emplace(window.id, window.owner);
    }
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const WindowRecord& window = windows[i];
        if (window.owner != owner || isNeverCounted(window.types)) {
            continue;
        }
        const auto parent = ownerById.find(window.transientFor);
        const bool dialogOfOwn = window.transientFor != 0 && window.transientFor != window.id &&
                                 parent != ownerById.end() && parent->second == owner;
        if (!dialogOfOwn) {
            result.push_back(i);
        }
    }
    return result;
}

}  // namespace klosia
