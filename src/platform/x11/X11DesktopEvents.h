#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class QSocketNotifier;

namespace klosia {

class XcbConnection;

// What the workspace follows between full scans: the root window's changes, read from an X
// connection of their own through the thread's event loop (a connection that other requests
// share could swallow events into xcb's queue while it waits for a reply, unseen by the socket
// notifier). Create and use it on the thread whose event loop runs it.
class X11DesktopEvents {
public:
    struct Handlers {
        // The client list or the window manager changed, or, while following top-level
        // windows, one of them was mapped, unmapped or destroyed: worth a full scan.
        std::function<void()> windowsChanged;
        // _NET_ACTIVE_WINDOW changed; the new value, read once.
        std::function<void(std::uint32_t window)> activeWindowChanged;
        // The connection broke: nothing more will come.
        std::function<void()> lost;
    };

    X11DesktopEvents(std::shared_ptr<XcbConnection> connection, Handlers handlers);
    ~X11DesktopEvents();
    X11DesktopEvents(const X11DesktopEvents&) = delete;
    X11DesktopEvents& operator=(const X11DesktopEvents&) = delete;

    // Without a window manager there is no client list: the root's children being mapped and
    // unmapped tell instead. With one they are its frames, and every move would wake us.
    void followTopLevels(bool follow);

    // Where nobody keeps _NET_ACTIVE_WINDOW, the input focus tells which window is active: its
    // moves into and out of the root's children are followed, and activeWindowChanged gets the
    // focused window or its nearest ancestor that `known` accepts (0 for none). Pass an empty
    // function to follow _NET_ACTIVE_WINDOW again.
    void followFocus(std::function<bool(std::uint32_t window)> known);
    // While the focus is followed: reads it once more, from the event loop (the windows that
    // `known` accepts changed, and the focus may have moved into a window it did not know).
    void readFocusAgain();

    // For tests: the _NET_ACTIVE_WINDOW reads so far.
    std::uint64_t activeWindowReads() const { return activeReads_; }

private:
    void read();
    // Takes the events xcb holds (from the socket too unless `queuedOnly`); sets the flags.
    void drain(bool queuedOnly, bool* windows, bool* active);
    std::uint32_t readActiveWindow();
    void selectRootEvents();
    // Asks for focus events on `window`, or on every child of the root when it is 0.
    void selectFocusEvents(std::uint32_t window);

    std::shared_ptr<XcbConnection> connection_;
    Handlers handlers_;
    std::unique_ptr<QSocketNotifier> notifier_;
    // Until the first scan tells whether there is a window manager, both.
    bool followTopLevels_ = true;
    std::function<bool(std::uint32_t)> focusKnown_;  // set while the focus is followed
    bool activeChanged_ = false;                     // seen, not read yet
    bool lost_ = false;
    std::uint64_t activeReads_ = 0;
};

}  // namespace klosia
