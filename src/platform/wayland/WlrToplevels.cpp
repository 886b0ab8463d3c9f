#include "platform/wayland/WlrToplevels.h"

#include <wayland-client.h>

#include <cerrno>
#include <cstring>

#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace klosia {

struct WlrToplevels::Handle {
    WlrToplevels* owner = nullptr;
    zwlr_foreign_toplevel_handle_v1* proxy = nullptr;
    Toplevel shown;
    Toplevel pending;
    bool done = false;  // described at least once
};

namespace {

// The third version adds the parent; older compositors still give the rest.
constexpr std::uint32_t kManagerVersion = 3;

WlrToplevels::Handle* handleOf(void* data) {
    return static_cast<WlrToplevels::Handle*>(data);
}

void onTitle(void* data, zwlr_foreign_toplevel_handle_v1* /*proxy*/, const char* title) {
    handleOf(data)->pending.title = QString::fromUtf8(title);
}
void onAppId(void* data, zwlr_foreign_toplevel_handle_v1* /*proxy*/, const char* appId) {
    handleOf(data)->pending.appId = QString::fromUtf8(appId);
}
void onOutput(void* /*data*/, zwlr_foreign_toplevel_handle_v1* /*proxy*/, wl_output* /*output*/) {}
void onState(void* data, zwlr_foreign_toplevel_handle_v1* /*proxy*/, wl_array* states) {
    WlrToplevels::Toplevel& pending = handleOf(data)->pending;
    pending.activated = false;
    pending.minimized = false;
    // An array of 32-bit enum values; a compositor may send states we do not know.
    const auto* values = static_cast<const std::uint32_t*>(states->data);
    for (std::size_t i = 0; i < states->size / sizeof(std::uint32_t); ++i) {
        if (values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED) {
            pending.activated = true;
        } else if (values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_MINIMIZED) {
            pending.minimized = true;
        }
    }
}

}  // namespace

// Friends of the class through its nested Handle: they reach the owner's bookkeeping.
struct HandleEvents {
    static void done(void* data, zwlr_foreign_toplevel_handle_v1* /*proxy*/) {
        WlrToplevels::Handle* handle = handleOf(data);
        handle->pending.id = handle->shown.id;
        handle->shown = handle->pending;
        handle->done = true;
        handle->owner->changedSinceNotice_ = true;
    }
    static void closed(void* data, zwlr_foreign_toplevel_handle_v1* proxy) {
        WlrToplevels::Handle* handle = handleOf(data);
        WlrToplevels* owner = handle->owner;
        const std::uint32_t id = handle->shown.id;
        zwlr_foreign_toplevel_handle_v1_destroy(proxy);
        for (auto& [other, entry] : owner->handles_) {
            if (entry->shown.parent == id) {
                entry->shown.parent = 0;
            }
            if (entry->pending.parent == id) {
                entry->pending.parent = 0;
            }
        }
        owner->handles_.erase(id);  // frees `handle`
        owner->changedSinceNotice_ = true;
    }
    static void parent(void* data, zwlr_foreign_toplevel_handle_v1* /*proxy*/,
                       zwlr_foreign_toplevel_handle_v1* parent) {
        std::uint32_t id = 0;
        if (parent != nullptr) {
            if (auto* of = static_cast<WlrToplevels::Handle*>(
                    zwlr_foreign_toplevel_handle_v1_get_user_data(parent))) {
                id = of->shown.id;
            }
        }
        handleOf(data)->pending.parent = id;
    }
};

namespace {

const zwlr_foreign_toplevel_handle_v1_listener kHandleListener = {
    .title = onTitle,
    .app_id = onAppId,
    .output_enter = onOutput,
    .output_leave = onOutput,
    .state = onState,
    .done = HandleEvents::done,
    .closed = HandleEvents::closed,
    .parent = HandleEvents::parent,
};

void onFinished(void* /*data*/, zwlr_foreign_toplevel_manager_v1* /*manager*/) {}

void onGlobalRemove(void* /*data*/, wl_registry* /*registry*/, std::uint32_t /*name*/) {}

}  // namespace

void WlrToplevels::onGlobal(void* data, wl_registry* registry, std::uint32_t name,
                            const char* interface, std::uint32_t version) {
    auto* self = static_cast<WlrToplevels*>(data);
    if (self->manager_ == nullptr &&
        std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0) {
        self->manager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_foreign_toplevel_manager_v1_interface,
                             std::min(version, kManagerVersion)));
    }
}

void WlrToplevels::onToplevel(void* data, zwlr_foreign_toplevel_manager_v1* /*manager*/,
                              zwlr_foreign_toplevel_handle_v1* proxy) {
    auto* self = static_cast<WlrToplevels*>(data);
    auto handle = std::make_unique<Handle>();
    handle->owner = self;
    handle->proxy = proxy;
    handle->shown.id = self->nextId_++;
    handle->pending.id = handle->shown.id;
    zwlr_foreign_toplevel_handle_v1_add_listener(proxy, &kHandleListener, handle.get());
    self->handles_.emplace(handle->shown.id, std::move(handle));
}

std::unique_ptr<WlrToplevels> WlrToplevels::connect(QString* error) {
    std::unique_ptr<WlrToplevels> self(new WlrToplevels);
    self->display_ = wl_display_connect(nullptr);
    if (self->display_ == nullptr) {
        *error = QStringLiteral("cannot connect to the Wayland compositor (WAYLAND_DISPLAY=%1)")
                     .arg(qEnvironmentVariable("WAYLAND_DISPLAY"));
        return nullptr;
    }
    static const wl_registry_listener registryListener = {
        .global = onGlobal,
        .global_remove = onGlobalRemove,
    };
    self->registry_ = wl_display_get_registry(self->display_);
    wl_registry_add_listener(self->registry_, &registryListener, self.get());
    if (wl_display_roundtrip(self->display_) < 0) {
        *error = QStringLiteral("the Wayland compositor closed the connection");
        return nullptr;
    }
    if (self->manager_ == nullptr) {
        *error = QStringLiteral(
            "the compositor offers no list of windows "
            "(zwlr_foreign_toplevel_manager_v1)");
        return nullptr;
    }
    static const zwlr_foreign_toplevel_manager_v1_listener managerListener = {
        .toplevel = onToplevel,
        .finished = onFinished,
    };
    zwlr_foreign_toplevel_manager_v1_add_listener(self->manager_, &managerListener, self.get());
    // The first answers the toplevel events, the second their descriptions.
    if (!self->roundtrip() || !self->roundtrip()) {
        *error = QStringLiteral("the Wayland compositor closed the connection");
        return nullptr;
    }
    return self;
}

WlrToplevels::~WlrToplevels() {
    if (display_ == nullptr) {
        return;
    }
    for (auto& [id, handle] : handles_) {
        zwlr_foreign_toplevel_handle_v1_destroy(handle->proxy);
    }
    handles_.clear();
    if (manager_ != nullptr) {
        zwlr_foreign_toplevel_manager_v1_destroy(manager_);
    }
    if (registry_ != nullptr) {
        wl_registry_destroy(registry_);
    }
    wl_display_disconnect(display_);
}

int WlrToplevels::fd() const {
    return wl_display_get_fd(display_);
}

bool WlrToplevels::dispatch() {
    // Events already read by an earlier call first, then whatever the socket holds now.
    if (wl_display_dispatch_pending(display_) < 0) {
        return false;
    }
    while (wl_display_prepare_read(display_) != 0) {
        if (wl_display_dispatch_pending(display_) < 0) {
            return false;
        }
    }
    wl_display_flush(display_);
    if (wl_display_read_events(display_) < 0 && errno != EAGAIN) {
        return false;
    }
    if (wl_display_dispatch_pending(display_) < 0) {
        return false;
    }
    notifyIfChanged();
    return true;
}

bool WlrToplevels::roundtrip() {
    if (wl_display_roundtrip(display_) < 0) {
        return false;
    }
    notifyIfChanged();
    return true;
}

void WlrToplevels::notifyIfChanged() {
    if (changedSinceNotice_) {
        changedSinceNotice_ = false;
        if (changed_) {
            changed_();
        }
    }
}

std::vector<WlrToplevels::Toplevel> WlrToplevels::toplevels() const {
    std::vector<Toplevel> out;
    for (const auto& [id, handle] : handles_) {
        if (handle->done) {
            out.push_back(handle->shown);
        }
    }
    return out;
}

bool WlrToplevels::close(std::uint32_t id) {
    const auto it = handles_.find(id);
    if (it == handles_.end()) {
        return false;
    }
    zwlr_foreign_toplevel_handle_v1_close(it->second->proxy);
    return roundtrip();
}

}  // namespace klosia
