#include "platform/x11/X11DesktopEvents.h"

#include <xcb/xcb.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cstdlib>
#include <vector>

#include "platform/x11/X11TopLevels.h"
#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbProperty.h"
#include "platform/x11/XcbReply.h"

namespace klosia {

X11DesktopEvents::X11DesktopEvents(std::shared_ptr<XcbConnection> connection, Handlers handlers)
    : connection_(std::move(connection)), handlers_(std::move(handlers)) {
    selectRootEvents();
    notifier_ =
        std::make_unique<QSocketNotifier>(connection_->fileDescriptor(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { read(); });
}

X11DesktopEvents::~X11DesktopEvents() = default;

void X11DesktopEvents::selectRootEvents() {
    std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    if (followTopLevels_) {
        mask |= XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    }
    xcb_change_window_attributes(connection_->get(), connection_->root(), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection_->get());
}

void X11DesktopEvents::followTopLevels(bool follow) {
    if (follow != followTopLevels_ && !lost_) {
        followTopLevels_ = follow;
        selectRootEvents();
    }
}

void X11DesktopEvents::followFocus(std::function<bool(std::uint32_t window)> known) {
    const bool start = known && !focusKnown_;
    focusKnown_ = std::move(known);
    if (start && !lost_) {
        selectFocusEvents(0);
    }
    readFocusAgain();
}

void X11DesktopEvents::readFocusAgain() {
    if (focusKnown_ && !lost_ && !activeChanged_) {
        activeChanged_ = true;
        QTimer::singleShot(0, notifier_.get(), [this] { read(); });
    }
}

void X11DesktopEvents::selectFocusEvents(std::uint32_t window) {
    xcb_connection_t* c = connection_->get();
    std::vector<xcb_window_t> windows;
    if (window != 0) {
        windows.push_back(window);
    } else {
        const XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, connection_->root()), nullptr));
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            windows.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
    }
    // The focus entering or leaving a window, or any window inside it, is reported to it. A
    // window that is gone by now answers BadWindow, which the event loop drops.
    const std::uint32_t mask = XCB_EVENT_MASK_FOCUS_CHANGE;
    for (const xcb_window_t w : windows) {
        xcb_change_window_attributes(c, w, XCB_CW_EVENT_MASK, &mask);
    }
    xcb_flush(c);
}

void X11DesktopEvents::read() {
    bool windows = false;
    drain(false, &windows, &activeChanged_);
    if (activeChanged_ && !connection_->isBroken()) {
        activeChanged_ = false;
        const std::uint32_t window = readActiveWindow();
        if (handlers_.activeWindowChanged) {
            handlers_.activeWindowChanged(window);
        }
        // xcb queued whatever events came while the read waited for its reply, and the notifier
        // only fires for new bytes on the socket: they are taken now.
        drain(true, &windows, &activeChanged_);
        if (activeChanged_) {
            // It changed again meanwhile: read once more, from the event loop.
            QTimer::singleShot(0, notifier_.get(), [this] { read(); });
        }
    }
    if (connection_->isBroken()) {
        if (!lost_) {
            lost_ = true;
            notifier_->setEnabled(false);
            if (handlers_.lost) {
                handlers_.lost();
            }
        }
        return;
    }
    if (windows && handlers_.windowsChanged) {
        handlers_.windowsChanged();
    }
}

void X11DesktopEvents::drain(bool queuedOnly, bool* windows, bool* active) {
    xcb_connection_t* c = connection_->get();
    const xcb_window_t root = connection_->root();
    while (xcb_generic_event_t* event =
               queuedOnly ? xcb_poll_for_queued_event(c) : xcb_poll_for_event(c)) {
        switch (event->response_type & 0x7f) {
            case XCB_PROPERTY_NOTIFY: {
                const auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (property->window != root) {
                    break;
                }
                if (property->atom == connection_->atom(X11Atom::netActiveWindow)) {
                    *active = true;
                } else if (property->atom == connection_->atom(X11Atom::netClientList) ||
                           property->atom == connection_->atom(X11Atom::netSupportingWmCheck) ||
                           property->atom == connection_->atom(X11Atom::netSupported)) {
                    *windows = true;
                }
                break;
            }
            case XCB_MAP_NOTIFY: {
                const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (focusKnown_ && map->event == root) {
                    // The focus may have moved into it before it reports such moves to us.
                    selectFocusEvents(map->window);
                    *active = true;
                }
                *windows = *windows || followTopLevels_;
                break;
            }
            case XCB_UNMAP_NOTIFY:
            case XCB_DESTROY_NOTIFY:
            case XCB_REPARENT_NOTIFY:
                *windows = *windows || followTopLevels_;
                break;
            case XCB_FOCUS_IN:
            case XCB_FOCUS_OUT:
                *active = *active || static_cast<bool>(focusKnown_);
                break;
            default:
                // Errors of requests we did not check (none are sent on purpose) are of no
                // interest.
                break;
        }
        std::free(event);  // NOLINT: xcb allocates events with malloc
    }
}

std::uint32_t X11DesktopEvents::readActiveWindow() {
    ++activeReads_;
    if (focusKnown_) {
        return focusedWindow(*connection_, focusKnown_);
    }
    xcb_connection_t* c = connection_->get();
    const PropertyReply reply = collectProperty(
        c, askProperty(c, connection_->root(), connection_->atom(X11Atom::netActiveWindow), 1),
        nullptr);
    return propertyFirstValue(reply.get());
}

}  // namespace klosia
