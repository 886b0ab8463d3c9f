#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

struct wl_display;
struct wl_registry;
struct zwlr_foreign_toplevel_manager_v1;
struct zwlr_foreign_toplevel_handle_v1;

namespace klosia {

// The toplevel windows of every client as a wlroots compositor lists them
// (zwlr_foreign_toplevel_manager_v1), over a Wayland connection of its own. The protocol says
// nothing about processes: which process owns a window comes from elsewhere (SwayTree).
//
// One thread: connect, dispatch and close from the thread that made it.
class WlrToplevels {
public:
    struct Toplevel {
        std::uint32_t id = 0;  // ours, stable for the window's life
        QString title;
        QString appId;
        bool activated = false;
        bool minimized = false;
        std::uint32_t parent = 0;  // the id of the toplevel it belongs to, 0 for none
    };

    // Connects to the compositor of WAYLAND_DISPLAY and reads the whole list. Nothing, and
    // `error` says why, when there is no compositor or it does not offer the protocol.
    static std::unique_ptr<WlrToplevels> connect(QString* error);
    ~WlrToplevels();
    WlrToplevels(const WlrToplevels&) = delete;
    WlrToplevels& operator=(const WlrToplevels&) = delete;

    // The connection's file descriptor: readable when events wait.
    int fd() const;
    // Reads and handles what arrived, without waiting. False once the connection is lost.
    bool dispatch();
    // Waits until the compositor has answered everything sent so far.
    bool roundtrip();

    // The windows whose description is complete (the compositor sent "done"), in the order
    // they appeared.
    std::vector<Toplevel> toplevels() const;
    // Asks the window to close, as its close button would: the client may refuse. Returns once
    // the compositor has the request (a client that disconnected at once could lose it).
    bool close(std::uint32_t id);
    // Called after dispatch() or roundtrip() handled a change of the list.
    void setChangedHandler(std::function<void()> handler) { changed_ = std::move(handler); }

    struct Handle;  // one toplevel of the protocol: what is shown and what is pending

private:
    friend struct HandleEvents;
    WlrToplevels() = default;
    static void onGlobal(void* data, wl_registry* registry, std::uint32_t name,
                         const char* interface, std::uint32_t version);
    static void onToplevel(void* data, zwlr_foreign_toplevel_manager_v1* manager,
                           zwlr_foreign_toplevel_handle_v1* proxy);
    void notifyIfChanged();

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    zwlr_foreign_toplevel_manager_v1* manager_ = nullptr;
    std::map<std::uint32_t, std::unique_ptr<Handle>> handles_;
    std::uint32_t nextId_ = 1;
    bool changedSinceNotice_ = false;
    std::function<void()> changed_;
};

}  // namespace klosia
