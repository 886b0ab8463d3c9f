#include "platform/wayland/WaylandToplevels.h"

#include <wayland-client.h>

#include <QObject>
#include <QThread>

#include <cerrno>
#include <condition_variable>
#include <mutex>

#include "log/Vezizur.h"
#include "platform/wayland/GnomeShellWindows.h"
#include "platform/wayland/KdeWindows.h"
#include "platform/wayland/WlrToplevels.h"

namespace klosia {
namespace {

void onGlobal(void* data, wl_registry* /*registry*/, std::uint32_t name, const char* interface,
              std::uint32_t version) {
    auto* globals = static_cast<std::map<QString, WaylandToplevels::Global>*>(data);
    globals->emplace(QString::fromUtf8(interface), WaylandToplevels::Global{name, version});
}

void onGlobalRemove(void* /*data*/, wl_registry* /*registry*/, std::uint32_t /*name*/) {}

}  // namespace

std::unique_ptr<WaylandToplevels> WaylandToplevels::connect(QString* error) {
    QString kdeError;
    if (auto kde = KdeWindows::connect(&kdeError)) {
        return kde;
    }
    QString wlrError;
    if (auto wlr = WlrToplevels::connect(&wlrError)) {
        return wlr;
    }
    // GNOME's Mutter lists nothing to clients; our Shell extension does, where it is enabled.
    QString gnomeError;
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("GNOME"))) {
        if (auto gnome = GnomeShellWindows::connect(&gnomeError)) {
            return gnome;
        }
    }
    // The most telling reason: KWin's refusal, GNOME's missing extension, else the wlroots one
    // (no compositor at all, or one without either list).
    *error = !kdeError.isEmpty() ? kdeError : !gnomeError.isEmpty() ? gnomeError : wlrError;
    return nullptr;
}

WaylandToplevels::WaylandToplevels()
    : thread_(QThread::currentThread()), context_(std::make_unique<QObject>()) {}

bool WaylandToplevels::onOwnThread(const std::function<bool()>& work) const {
    if (QThread::currentThread() == thread_) {
        return work();
    }
    struct Call {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
        bool abandoned = false;
        bool result = false;
    };
    auto call = std::make_shared<Call>();
    // The work runs under the lock, so the waiter either sees it done or abandons it before it
    // starts; `work` refers to the caller's frame and is copied for a run that may come late.
    QMetaObject::invokeMethod(
        context_.get(),
        [call, work] {
            const std::lock_guard lock(call->mutex);
            if (!call->abandoned) {
                call->result = work();
                call->done = true;
                call->finished.notify_all();
            }
        },
        Qt::QueuedConnection);
    std::unique_lock lock(call->mutex);
    if (!call->finished.wait_for(lock, kOwnThreadWait, [&] { return call->done; })) {
        call->abandoned = true;
        logger.log("the Wayland connection's thread did not answer in time: request not sent",
                   VezizurLevel::error);
        return false;
    }
    return call->result;
}

WaylandToplevels::~WaylandToplevels() {
    if (seat_ != nullptr) {
        wl_seat_destroy(seat_);
    }
    if (registry_ != nullptr) {
        wl_registry_destroy(registry_);
    }
    if (display_ != nullptr) {
        wl_display_disconnect(display_);
    }
}

bool WaylandToplevels::open(QString* error) {
    display_ = wl_display_connect(nullptr);
    if (display_ == nullptr) {
        *error = QStringLiteral("cannot connect to the Wayland compositor (WAYLAND_DISPLAY=%1)")
                     .arg(qEnvironmentVariable("WAYLAND_DISPLAY"));
        return false;
    }
    static const wl_registry_listener listener = {
        .global = onGlobal,
        .global_remove = onGlobalRemove,
    };
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &listener, &globals_);
    if (wl_display_roundtrip(display_) < 0) {
        *error = QStringLiteral("the Wayland compositor closed the connection");
        return false;
    }
    return true;
}

wl_seat* WaylandToplevels::seat() {
    if (seat_ == nullptr) {
        if (const Global* offered = global("wl_seat")) {
            seat_ = static_cast<wl_seat*>(
                wl_registry_bind(registry_, offered->name, &wl_seat_interface, 1));
        }
    }
    return seat_;
}

const WaylandToplevels::Global* WaylandToplevels::global(const char* interface) const {
    const auto it = globals_.find(QString::fromUtf8(interface));
    return it == globals_.end() ? nullptr : &it->second;
}

int WaylandToplevels::fd() const {
    return wl_display_get_fd(display_);
}

bool WaylandToplevels::dispatch() {
    // Events already read by an earlier call first, then whatever the socket holds now.
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

bool WaylandToplevels::roundtrip() {
    if (wl_display_roundtrip(display_) < 0) {
        return false;
    }
    notifyIfChanged();
    return true;
}

void WaylandToplevels::notifyIfChanged() {
    if (changedSinceNotice_) {
        changedSinceNotice_ = false;
        if (changed_) {
            changed_();
        }
    }
}

}  // namespace klosia
