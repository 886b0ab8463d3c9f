#include "platform/wayland/WlrToplevels.h"

#include <wayland-client.h>

#include <algorithm>
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
    WaylandToplevels::Toplevel& pending = handleOf(data)->pending;
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
        handle->owner->markChanged();
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
        owner->markChanged();
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

}  // namespace

void WlrToplevels::onToplevel(void* data, zwlr_foreign_toplevel_manager_v1* /*manager*/,
                              zwlr_foreign_toplevel_handle_v1* proxy) {
    auto* self = static_cast<WlrToplevels*>(data);
    auto handle = std::make_unique<Handle>();
    handle->owner = self;
    handle->proxy = proxy;
    handle->shown.id = self->nextId();
    handle->pending.id = handle->shown.id;
    zwlr_foreign_toplevel_handle_v1_add_listener(proxy, &kHandleListener, handle.get());
    self->handles_.emplace(handle->shown.id, std::move(handle));
}

std::unique_ptr<WlrToplevels> WlrToplevels::connect(QString* error) {
    std::unique_ptr<WlrToplevels> self(new WlrToplevels);
    if (!self->open(error)) {
        return nullptr;
    }
    const Global* offered = self->global(zwlr_foreign_toplevel_manager_v1_interface.name);
    if (offered == nullptr) {
        *error = QStringLiteral(
            "the compositor offers no list of windows "
            "(zwlr_foreign_toplevel_manager_v1)");
        return nullptr;
    }
    self->manager_ = static_cast<zwlr_foreign_toplevel_manager_v1*>(wl_registry_bind(
        self->registry(), offered->name, &zwlr_foreign_toplevel_manager_v1_interface,
        std::min(offered->version, kManagerVersion)));
    static const zwlr_foreign_toplevel_manager_v1_listener managerListener = {
        .toplevel = onToplevel,
        .finished = onFinished,
    };
    zwlr_foreign_toplevel_manager_v1_add_listener(self->manager_, &managerListener, self.get());
    // The compositor describes every toplevel as it binds the manager: one roundtrip has them.
    if (!self->roundtrip()) {
        *error = QStringLiteral("the Wayland compositor closed the connection");
        return nullptr;
    }
    return self;
}

WlrToplevels::~WlrToplevels() {
    for (auto& [id, handle] : handles_) {
        zwlr_foreign_toplevel_handle_v1_destroy(handle->proxy);
    }
    handles_.clear();
    if (manager_ != nullptr) {
        zwlr_foreign_toplevel_manager_v1_destroy(manager_);
    }
}

std::vector<WaylandToplevels::Toplevel> WlrToplevels::toplevels() const {
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

bool WlrToplevels::activate(std::uint32_t id) {
    const auto it = handles_.find(id);
    wl_seat* const ourSeat = seat();
    if (it == handles_.end() || ourSeat == nullptr) {
        return false;
    }
    zwlr_foreign_toplevel_handle_v1_activate(it->second->proxy, ourSeat);
    return roundtrip();
}

}  // namespace klosia
