#include "platform/wayland/KdeWindows.h"

#include <wayland-client.h>

#include <QStringList>

#include <algorithm>

#include "plasma-window-management-client-protocol.h"

namespace klosia {

struct KdeWindows::Window {
    KdeWindows* owner = nullptr;
    org_kde_plasma_window* proxy = nullptr;
    Toplevel toplevel;
    bool described = false;  // initial_state came: the properties before it are complete
};

namespace {

// get_window_by_uuid and window_with_uuid came with these versions; KWin 5.27 has 16.
constexpr std::uint32_t kMinimumVersion = 13;
constexpr std::uint32_t kVersion = 16;

KdeWindows::Window* windowOf(void* data) {
    return static_cast<KdeWindows::Window*>(data);
}

}  // namespace

// Friends of the class: they reach the owner's bookkeeping.
struct KdeWindowEvents {
    static void changed(KdeWindows::Window* window) {
        if (window->described) {
            window->owner->markChanged();
        }
    }
    static void title(void* data, org_kde_plasma_window* /*proxy*/, const char* title) {
        windowOf(data)->toplevel.title = QString::fromUtf8(title);
        changed(windowOf(data));
    }
    static void appId(void* data, org_kde_plasma_window* /*proxy*/, const char* appId) {
        windowOf(data)->toplevel.appId = QString::fromUtf8(appId);
        changed(windowOf(data));
    }
    static void state(void* data, org_kde_plasma_window* /*proxy*/, std::uint32_t flags) {
        KdeWindows::Toplevel& toplevel = windowOf(data)->toplevel;
        toplevel.activated = (flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE) != 0;
        toplevel.minimized = (flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_MINIMIZED) != 0;
        toplevel.skipTaskbar = (flags & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_SKIPTASKBAR) != 0;
        changed(windowOf(data));
    }
    static void geometry(void* data, org_kde_plasma_window* /*proxy*/, std::int32_t x,
                         std::int32_t y, std::uint32_t width, std::uint32_t height) {
        windowOf(data)->toplevel.geometry =
            QRect(x, y, static_cast<int>(width), static_cast<int>(height));
        changed(windowOf(data));
    }
    static void pid(void* data, org_kde_plasma_window* /*proxy*/, std::uint32_t pid) {
        windowOf(data)->toplevel.pid = static_cast<pid_t>(pid);
        changed(windowOf(data));
    }
    static void parent(void* data, org_kde_plasma_window* /*proxy*/, org_kde_plasma_window* of) {
        std::uint32_t id = 0;
        if (of != nullptr) {
            if (auto* parent =
                    static_cast<KdeWindows::Window*>(org_kde_plasma_window_get_user_data(of))) {
                id = parent->toplevel.id;
            }
        }
        windowOf(data)->toplevel.parent = id;
        changed(windowOf(data));
    }
    static void initialState(void* data, org_kde_plasma_window* /*proxy*/) {
        windowOf(data)->described = true;
        windowOf(data)->owner->markChanged();
    }
    static void unmapped(void* data, org_kde_plasma_window* proxy) {
        KdeWindows::Window* window = windowOf(data);
        KdeWindows* owner = window->owner;
        const std::uint32_t id = window->toplevel.id;
        org_kde_plasma_window_destroy(proxy);
        for (auto& [other, entry] : owner->windows_) {
            if (entry->toplevel.parent == id) {
                entry->toplevel.parent = 0;
            }
        }
        owner->windows_.erase(id);  // frees `window`
        owner->markChanged();
    }
    static void window(void* data, org_kde_plasma_window_management* manager, std::uint32_t /*id*/,
                       const char* uuid);
};

namespace {

void ignoreInt(void* /*data*/, org_kde_plasma_window* /*proxy*/, std::int32_t /*value*/) {}
void ignoreString(void* /*data*/, org_kde_plasma_window* /*proxy*/, const char* /*value*/) {}
void ignoreNothing(void* /*data*/, org_kde_plasma_window* /*proxy*/) {}
void ignoreMenu(void* /*data*/, org_kde_plasma_window* /*proxy*/, const char* /*service*/,
                const char* /*path*/) {}

const org_kde_plasma_window_listener kWindowListener = {
    .title_changed = KdeWindowEvents::title,
    .app_id_changed = KdeWindowEvents::appId,
    .state_changed = KdeWindowEvents::state,
    .virtual_desktop_changed = ignoreInt,
    .themed_icon_name_changed = ignoreString,
    .unmapped = KdeWindowEvents::unmapped,
    .initial_state = KdeWindowEvents::initialState,
    .parent_window = KdeWindowEvents::parent,
    .geometry = KdeWindowEvents::geometry,
    .icon_changed = ignoreNothing,
    .pid_changed = KdeWindowEvents::pid,
    .virtual_desktop_entered = ignoreString,
    .virtual_desktop_left = ignoreString,
    .application_menu = ignoreMenu,
    .activity_entered = ignoreString,
    .activity_left = ignoreString,
    .resource_name_changed = ignoreString,
};

void ignoreShowDesktop(void* /*data*/, org_kde_plasma_window_management* /*manager*/,
                       std::uint32_t /*state*/) {}
// Windows are announced once more with their uuid (window_with_uuid), which is what we use.
void ignoreWindowId(void* /*data*/, org_kde_plasma_window_management* /*manager*/,
                    std::uint32_t /*id*/) {}
void ignoreStacking(void* /*data*/, org_kde_plasma_window_management* /*manager*/,
                    wl_array* /*ids*/) {}
void ignoreStackingUuids(void* /*data*/, org_kde_plasma_window_management* /*manager*/,
                         const char* /*uuids*/) {}

}  // namespace

void KdeWindowEvents::window(void* data, org_kde_plasma_window_management* manager,
                             std::uint32_t /*id*/, const char* uuid) {
    auto* owner = static_cast<KdeWindows*>(data);
    auto window = std::make_unique<KdeWindows::Window>();
    window->owner = owner;
    window->toplevel.id = owner->nextId();
    window->proxy = org_kde_plasma_window_management_get_window_by_uuid(manager, uuid);
    org_kde_plasma_window_add_listener(window->proxy, &kWindowListener, window.get());
    owner->windows_.emplace(window->toplevel.id, std::move(window));
}

std::unique_ptr<KdeWindows> KdeWindows::connect(QString* error) {
    std::unique_ptr<KdeWindows> self(new KdeWindows);
    if (!self->open(error)) {
        return nullptr;
    }
    const Global* offered = self->global(org_kde_plasma_window_management_interface.name);
    if (offered == nullptr || offered->version < kMinimumVersion) {
        // KWin hides the interface from a program its desktop files do not grant it to. Other
        // compositors offer KDE's decoration protocol too (sway does), not Plasma's desktops.
        const bool kwin = self->global("org_kde_plasma_virtual_desktop_management") != nullptr ||
                          qEnvironmentVariable("XDG_CURRENT_DESKTOP")
                              .split(QLatin1Char(':'))
                              .contains(QLatin1String("KDE"));
        *error = kwin ? QStringLiteral(
                            "KWin shows its window list only to a program whose installed "
                            "desktop file names it: X-KDE-Wayland-Interfaces="
                            "org_kde_plasma_window_management with an absolute Exec= of this "
                            "program (installed, Klosia has one; see the README for a build tree)")
                      : QString();
        return nullptr;
    }
    self->manager_ = static_cast<org_kde_plasma_window_management*>(wl_registry_bind(
        self->registry(), offered->name, &org_kde_plasma_window_management_interface,
        std::min(offered->version, kVersion)));
    static const org_kde_plasma_window_management_listener managerListener = {
        .show_desktop_changed = ignoreShowDesktop,
        .window = ignoreWindowId,
        .stacking_order_changed = ignoreStacking,
        .stacking_order_uuid_changed = ignoreStackingUuids,
        .window_with_uuid = KdeWindowEvents::window,
    };
    org_kde_plasma_window_management_add_listener(self->manager_, &managerListener, self.get());
    // The windows, then each one's properties up to its initial state.
    if (!self->roundtrip() || !self->roundtrip()) {
        *error = QStringLiteral("the Wayland compositor closed the connection");
        return nullptr;
    }
    return self;
}

KdeWindows::~KdeWindows() {
    for (auto& [id, window] : windows_) {
        org_kde_plasma_window_destroy(window->proxy);
    }
    windows_.clear();
    if (manager_ != nullptr) {
        org_kde_plasma_window_management_destroy(manager_);
    }
}

std::vector<WaylandToplevels::Toplevel> KdeWindows::toplevels() const {
    std::vector<Toplevel> out;
    for (const auto& [id, window] : windows_) {
        if (window->described) {
            out.push_back(window->toplevel);
        }
    }
    return out;
}

bool KdeWindows::close(std::uint32_t id) {
    const auto it = windows_.find(id);
    if (it == windows_.end()) {
        return false;
    }
    org_kde_plasma_window_close(it->second->proxy);
    return roundtrip();
}

bool KdeWindows::activate(std::uint32_t id) {
    const auto it = windows_.find(id);
    if (it == windows_.end()) {
        return false;
    }
    // KWin's own task manager raises a window so: the active state, which also unminimizes it.
    org_kde_plasma_window_set_state(it->second->proxy,
                                    ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE,
                                    ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE);
    return roundtrip();
}

}  // namespace klosia
