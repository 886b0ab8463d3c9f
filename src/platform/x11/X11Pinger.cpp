#include "platform/x11/X11Pinger.h"

#include <poll.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "log/Vezizur.h"
#include "platform/x11/XcbConnection.h"

namespace klosia {

namespace {

constexpr int kPollMs = 100;

}  // namespace

std::shared_ptr<X11Pinger> X11Pinger::start(QString* error) {
    std::shared_ptr<XcbConnection> connection = XcbConnection::open(error);
    if (!connection) {
        return nullptr;
    }
    // Clients answer to the root window: selecting its structure events lets us see them.
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection->get(), connection->root(), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection->get());
    return std::shared_ptr<X11Pinger>(new X11Pinger(std::move(connection)));
}

X11Pinger::X11Pinger(std::shared_ptr<XcbConnection> connection)
    : connection_(std::move(connection)), thread_([this] { run(); }) {}

X11Pinger::~X11Pinger() {
    stopping_ = true;
    thread_.join();
}

void X11Pinger::setWindows(std::vector<std::uint32_t> windows) {
    const std::lock_guard lock(mutex_);
    windows_ = std::move(windows);
    std::erase_if(unanswered_, [&](const auto& entry) {
        return std::find(windows_.begin(), windows_.end(), entry.first) == windows_.end();
    });
}

void X11Pinger::setActive(bool active) {
    const std::lock_guard lock(mutex_);
    active_ = active;
    if (!active) {
        unanswered_.clear();
        pinged_ = false;
    }
}

bool X11Pinger::anyHung(const std::vector<std::uint32_t>& windows) const {
    const auto now = std::chrono::steady_clock::now();
    const std::lock_guard lock(mutex_);
    return std::any_of(windows.begin(), windows.end(), [&](std::uint32_t window) {
        const auto since = unanswered_.find(window);
        return since != unanswered_.end() && now - since->second >= kHungAfter;
    });
}

void X11Pinger::awaitFirstAnswers() const {
    constexpr std::chrono::milliseconds kStep{20};
    const auto deadline = std::chrono::steady_clock::now() + kHungAfter + kInterval;
    while (std::chrono::steady_clock::now() < deadline) {
        {
            const std::lock_guard lock(mutex_);
            if (!active_ || (pinged_ && unanswered_.empty())) {
                return;
            }
            const auto now = std::chrono::steady_clock::now();
            if (pinged_ && std::all_of(unanswered_.begin(), unanswered_.end(), [&](const auto& e) {
                    return now - e.second >= kHungAfter;
                })) {
                return;
            }
        }
        std::this_thread::sleep_for(kStep);
    }
}

void X11Pinger::run() {
    auto next = std::chrono::steady_clock::now();
    while (!stopping_) {
        const auto now = std::chrono::steady_clock::now();
        // Inactive, the next round goes out as soon as it is activated.
        if (now >= next && pingAll(now)) {
            next = now + kInterval;
        }
        pollfd descriptor{connection_->fileDescriptor(), POLLIN, 0};
        ::poll(&descriptor, 1, kPollMs);
        if (connection_->isBroken()) {
            logger.log("pings: lost the connection to the X server", VezizurLevel::error);
            return;
        }
        handleEvents();
    }
}

bool X11Pinger::pingAll(std::chrono::steady_clock::time_point now) {
    std::vector<std::uint32_t> windows;
    std::uint32_t stamp = 0;
    {
        const std::lock_guard lock(mutex_);
        if (!active_) {
            return false;
        }
        windows = windows_;
        stamp = stamp_++;
        for (const std::uint32_t window : windows) {
            unanswered_.try_emplace(window, now);
        }
        pinged_ = true;
    }
    xcb_connection_t* c = connection_->get();
    for (const std::uint32_t window : windows) {
        // Sent to the window itself, as a window manager sends it; the client answers to the root.
        std::array<char, 32> raw{};
        auto* event = reinterpret_cast<xcb_client_message_event_t*>(raw.data());
        event->response_type = XCB_CLIENT_MESSAGE;
        event->format = 32;
        event->window = window;
        event->type = connection_->atom(X11Atom::wmProtocols);
        event->data.data32[0] = connection_->atom(X11Atom::netWmPing);
        event->data.data32[1] = stamp;
        event->data.data32[2] = window;
        xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, raw.data());
    }
    xcb_flush(c);
    return true;
}

void X11Pinger::handleEvents() {
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_->get())) {
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
            const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
            if (message->format == 32 && message->type == connection_->atom(X11Atom::wmProtocols) &&
                message->data.data32[0] == connection_->atom(X11Atom::netWmPing)) {
                const std::lock_guard lock(mutex_);
                unanswered_.erase(message->data.data32[2]);
            }
        }
        std::free(event);  // NOLINT: xcb hands out malloc'ed events
    }
}

}  // namespace klosia
