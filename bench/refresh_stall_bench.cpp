// The longest stall of the main thread's event loop while the workspace follows 100 changes of
// the client list with 200 fixture windows on the desktop (each change a full refresh), against
// the same 100 changes with refreshes switched off (nothing follows the desktop), as a ratio.
// For reference, the same changes answered by a full scan on the main thread, as the workspace
// did before its scans moved to a thread of their own. Runs inside the virtual desktop: started
// without DISPLAY it starts itself again through tests/session/run-session.sh.
//
// A change is one window of this process mapped or unmapped (the window manager then rewrites
// _NET_CLIENT_LIST); our own windows are never listed, so the list itself stays the same. The
// stall is the longest gap between two ticks of a 1 ms timer on the main thread. The run without
// refreshes keeps the event loop going exactly as long per change as the run with them did; the
// three runs take turns in blocks of ten changes.
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <vector>

#include "BenchSession.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/XcbConnection.h"
#include "support/Wait.h"

namespace {

using klosia::X11Workspace;
using klosia::XcbConnection;
using klosia::test::waitUntil;

constexpr std::size_t kClients = 10;
constexpr std::size_t kWindowsPerClient = 20;
constexpr int kRefreshes = 100;
constexpr int kBlock = 10;
constexpr double kGoal = 2.0;

// The gaps between ticks of a 1 ms timer while it runs, over any number of runs.
class StallProbe {
public:
    StallProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            gaps_.push_back(static_cast<double>(clock_.nsecsElapsed()) / 1e6);
            clock_.restart();
        });
    }
    void start() {
        clock_.start();
        timer_.start();
    }
    void stop() { timer_.stop(); }
    double longest() const {
        return gaps_.empty() ? 0 : *std::max_element(gaps_.begin(), gaps_.end());
    }
    double percentile(double p) const {
        std::vector<double> sorted = gaps_;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty()
                   ? 0
                   : sorted[static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1))];
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    std::vector<double> gaps_;
};

// A top-level window of our own whose mapping changes the window manager's client list.
class Toggler {
public:
    explicit Toggler(std::shared_ptr<XcbConnection> connection)
        : connection_(std::move(connection)) {
        xcb_connection_t* c = connection_->get();
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        window_ = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, connection_->root(), 0, 0, 50, 50, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(c, connection_->root(), XCB_CW_EVENT_MASK, &mask);
        xcb_flush(c);
    }

    // Maps or unmaps the window and waits until the window manager has rewritten the list.
    bool toggle() {
        xcb_connection_t* c = connection_->get();
        mapped_ = !mapped_;
        if (mapped_) {
            xcb_map_window(c, window_);
        } else {
            xcb_unmap_window(c, window_);
        }
        xcb_flush(c);
        return waitUntil([&] {
            bool changed = false;
            while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
                const auto* property = reinterpret_cast<xcb_property_notify_event_t*>(event);
                changed = changed ||
                          ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                           property->atom == connection_->atom(klosia::X11Atom::netClientList));
                std::free(event);  // NOLINT: xcb allocates events with malloc
            }
            return changed;
        });
    }

private:
    std::shared_ptr<XcbConnection> connection_;
    xcb_window_t window_ = 0;
    bool mapped_ = false;
};

std::shared_ptr<XcbConnection> connect() {
    QString error;
    std::shared_ptr<XcbConnection> connection = XcbConnection::open(&error);
    if (!connection) {
        std::fprintf(stderr, "refresh_stall_bench: %s\n", qPrintable(error));
        std::exit(1);
    }
    return connection;
}

}  // namespace

int main(int argc, char** argv) {
    klosia::bench::enterSession(argv, "refresh_stall_bench");
    QCoreApplication app(argc, argv);
    const std::shared_ptr<XcbConnection> connection = connect();
    klosia::bench::Fixtures fixtures;
    std::size_t total = 0;
    if (!fixtures.start(kClients, kWindowsPerClient, *connection, &total)) {
        std::fprintf(stderr, "refresh_stall_bench: the fixtures' windows did not all appear\n");
        return 1;
    }
    Toggler toggler(connect());

    // The three ways to meet the same changes take turns in blocks, so that each meets the same
    // load of a shared machine. A change under the following workspace counts once its scan is
    // applied; the others keep the loop going as long as that took.
    StallProbe on;
    StallProbe off;
    StallProbe former;
    std::size_t listed = 0;
    std::uint64_t scans = 0;
    for (int block = 0; block < kRefreshes / kBlock; ++block) {
        std::vector<qint64> durations;
        {
            X11Workspace following(connect(), X11Workspace::Updates::followDesktop);
            listed = following.runningApplications().size();
            waitUntil([&] { return !following.isRefreshing(); });
            const std::uint64_t first = following.scansApplied();
            on.start();
            for (int i = 0; i < kBlock; ++i) {
                QElapsedTimer lap;
                lap.start();
                const std::uint64_t before = following.scansApplied();
                if (!toggler.toggle() || !waitUntil([&] {
                        return following.scansApplied() > before && !following.isRefreshing();
                    })) {
                    std::fprintf(stderr, "refresh_stall_bench: a change was not followed\n");
                    return 1;
                }
                durations.push_back(lap.elapsed());
            }
            on.stop();
            scans += following.scansApplied() - first;
        }

        // Refreshes off: nothing follows the desktop.
        off.start();
        for (const qint64 duration : durations) {
            QElapsedTimer lap;
            lap.start();
            toggler.toggle();
            waitUntil([&] { return lap.elapsed() >= duration; });
        }
        off.stop();

        // The former design: the same scan on the main thread, after the same burst delay.
        X11Workspace onCall(connect(), X11Workspace::Updates::onCall);
        former.start();
        for (const qint64 duration : durations) {
            QElapsedTimer lap;
            lap.start();
            toggler.toggle();
            bool done = false;
            QTimer::singleShot(30, [&] {
                onCall.runningApplications();
                done = true;
            });
            waitUntil([&] { return done && lap.elapsed() >= duration; });
        }
        former.stop();
    }

    std::printf(
        "refresh_stall_bench: %zu client windows, %zu applications listed; %d client list "
        "changes each way, %llu full refreshes on the worker thread\n",
        total, listed, kRefreshes, static_cast<unsigned long long>(scans));
    std::printf("  main-thread stall (gap between 1 ms ticks)     longest   99th percentile\n");
    const auto row = [](const char* name, const StallProbe& probe) {
        std::printf("  %-44s %7.2f ms %7.2f ms\n", name, probe.longest(), probe.percentile(0.99));
    };
    row("refreshes on (scans on the worker thread)", on);
    row("refreshes off", off);
    row("scans on the main thread (former design)", former);
    const double ratio = on.longest() / off.longest();
    std::printf("  ratio on/off, longest stall: %.2f (goal <= %.1f): %s; former design/off: %.2f\n",
                ratio, kGoal, ratio <= kGoal ? "met" : "NOT met", former.longest() / off.longest());
    return 0;
}
