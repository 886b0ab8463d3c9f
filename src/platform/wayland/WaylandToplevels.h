#pragma once

#include <QRect>
#include <QString>

#include <chrono>

#include <sys/types.h>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QObject;
class QThread;
struct wl_display;
struct wl_registry;
struct wl_seat;

namespace klosia {

// The toplevel windows of every client as a compositor lists them to us, over a Wayland
// connection of our own: wlroots' list (WlrToplevels) or KWin's (KdeWindows). One thread:
// connect, dispatch and close from the thread that made it; other threads go through
// onOwnThread().
class WaylandToplevels {
public:
    struct Toplevel {
        std::uint32_t id = 0;  // ours, stable for the window's life
        QString title;
        QString appId;
        bool activated = false;
        bool minimized = false;
        bool skipTaskbar = false;
        std::uint32_t parent = 0;  // the id of the toplevel it belongs to, 0 for none
        pid_t pid = 0;             // when the protocol itself says (KWin does); 0 otherwise
        QRect geometry;            // where the compositor shows it, when it says (KWin does)
    };

    // Connects to the compositor of WAYLAND_DISPLAY and reads the whole list, through the
    // first protocol it offers us. Nothing, and `error` says why, when there is no compositor or
    // it offers neither.
    static std::unique_ptr<WaylandToplevels> connect(QString* error);
    virtual ~WaylandToplevels();
    WaylandToplevels(const WaylandToplevels&) = delete;
    WaylandToplevels& operator=(const WaylandToplevels&) = delete;

    // The connection's file descriptor: readable when events wait.
    int fd() const;
    // Reads and handles what arrived, without waiting. False once the connection is lost.
    bool dispatch();
    // Waits until the compositor has answered everything sent so far.
    bool roundtrip();

    // The windows whose description is complete, in the order they appeared.
    virtual std::vector<Toplevel> toplevels() const = 0;
    // Asks the window to close, as its close button would: the client may refuse. Returns once
    // the compositor has the request (a client that disconnected at once could lose it).
    virtual bool close(std::uint32_t id) = 0;
    // Asks the compositor to raise the window and give it the focus of our seat; it may decline
    // (focus stealing rules). False when the request could not be sent.
    virtual bool activate(std::uint32_t id) = 0;
    // The protocol, for the start-up log and --list.
    virtual QString protocol() const = 0;
    // Whether every toplevel comes with the pid of its client, as the compositor knows it.
    virtual bool pidsFromCompositor() const { return false; }
    // Runs `work` on the thread that made the connection and returns what it returned. From
    // another thread (the menu's pool asks windows to close from there) it waits for that
    // thread's event loop, at most kOwnThreadWait; when that passes, `work` is never run and the
    // answer is false, so a main thread that waits for the pool cannot deadlock with it.
    bool onOwnThread(const std::function<bool()>& work) const;
    static constexpr std::chrono::seconds kOwnThreadWait{5};

    // Called after dispatch() or roundtrip() handled a change of the list.
    void setChangedHandler(std::function<void()> handler) { changed_ = std::move(handler); }

    // A global the compositor advertised: its name and version.
    struct Global {
        std::uint32_t name = 0;
        std::uint32_t version = 0;
    };

protected:
    WaylandToplevels();
    // Opens the display and reads the globals; false, with `error`, when it cannot.
    bool open(QString* error);
    const Global* global(const char* interface) const;
    wl_display* display() const { return display_; }
    wl_registry* registry() const { return registry_; }
    // The compositor's first seat, bound on first use; null when it offers none.
    wl_seat* seat();
    void markChanged() { changedSinceNotice_ = true; }
    // For a list that changes outside dispatch(): calls the changed handler when marked.
    void announceChanges() { notifyIfChanged(); }
    std::uint32_t nextId() { return nextId_++; }

private:
    void notifyIfChanged();

    QThread* thread_;
    std::unique_ptr<QObject> context_;  // lives on thread_, for the calls from elsewhere
    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_seat* seat_ = nullptr;
    std::map<QString, Global> globals_;
    std::uint32_t nextId_ = 1;
    bool changedSinceNotice_ = false;
    std::function<void()> changed_;
};

}  // namespace klosia
