#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace klosia {

class XcbConnection;

// Asks windows whether their client still answers, as a window manager does before it offers to
// kill one (_NET_WM_PING): once a second while active, on a connection and a thread of its own,
// only windows whose WM_PROTOCOLS name _NET_WM_PING. A window is hung once a ping has gone
// unanswered for kHungAfter; any answer clears it. Pings carry our own stamps, so a window
// manager's matching of its own pings is not disturbed.
class X11Pinger {
public:
    static constexpr std::chrono::milliseconds kInterval{1000};
    static constexpr std::chrono::milliseconds kHungAfter{3000};

    // Nothing, with `error`, when the display cannot be opened.
    static std::shared_ptr<X11Pinger> start(QString* error);
    ~X11Pinger();
    X11Pinger(const X11Pinger&) = delete;
    X11Pinger& operator=(const X11Pinger&) = delete;

    // The windows to ping; those no longer named are forgotten, verdict included.
    void setWindows(std::vector<std::uint32_t> windows);
    // Pings only while active; no verdict is kept while not.
    void setActive(bool active);
    bool anyHung(const std::vector<std::uint32_t>& windows) const;
    // For one look (klosia --list): returns once every window answered the first round of
    // pings, or once kHungAfter has passed, when those that did not are hung.
    void awaitFirstAnswers() const;

private:
    explicit X11Pinger(std::shared_ptr<XcbConnection> connection);
    void run();
    // False, sending nothing, while inactive.
    bool pingAll(std::chrono::steady_clock::time_point now);
    void handleEvents();

    std::shared_ptr<XcbConnection> connection_;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<std::uint32_t> windows_;
    bool active_ = false;
    // The first unanswered ping of each window.
    std::unordered_map<std::uint32_t, std::chrono::steady_clock::time_point> unanswered_;
    std::uint32_t stamp_ = 1;
    bool pinged_ = false;  // a round has gone out since the last activation
    std::thread thread_;
};

}  // namespace klosia
