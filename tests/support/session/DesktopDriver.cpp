#include "support/session/DesktopDriver.h"

#include <xcb/res.h>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_map>

namespace klosia::test {

namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

pid_t clientPid(xcb_connection_t* c, xcb_window_t window) {
    xcb_res_client_id_spec_t spec{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const Reply<xcb_res_query_client_ids_reply_t> reply(
        xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, &spec), nullptr),
        &std::free);
    if (!reply) {
        return 0;
    }
    for (auto it = xcb_res_query_client_ids_ids_iterator(reply.get()); it.rem > 0;
         xcb_res_client_id_value_next(&it)) {
        if (xcb_res_client_id_value_value_length(it.data) >= 1) {
            return static_cast<pid_t>(*xcb_res_client_id_value_value(it.data));
        }
    }
    return 0;
}

bool run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    const bool finished = process.waitForFinished(10000);
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s %s: %s (exit %d) %s\n", qPrintable(program),
                     qPrintable(arguments.join(QLatin1Char(' '))),
                     finished ? "failed" : "did not finish", process.exitCode(),
                     process.readAllStandardError().constData());
        return false;
    }
    return true;
}

}  // namespace

DesktopDriver::DesktopDriver() {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_) != 0) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        return;
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
}

DesktopDriver::~DesktopDriver() {
    if (connection_ != nullptr) {
        xcb_disconnect(connection_);
    }
}

std::vector<DesktopWindow> DesktopDriver::windows() const {
    std::vector<DesktopWindow> result;
    if (connection_ == nullptr) {
        return result;
    }
    // Breadth first from the root; each window remembers the root's child it lies in.
    std::vector<std::pair<xcb_window_t, xcb_window_t>> level{{root_, XCB_WINDOW_NONE}};
    while (!level.empty()) {
        std::vector<std::pair<xcb_window_t, xcb_window_t>> next;
        for (const auto& [window, top] : level) {
            const Reply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(connection_, xcb_query_tree(connection_, window), nullptr),
                &std::free);
            if (!tree) {
                continue;
            }
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            const int count = xcb_query_tree_children_length(tree.get());
            for (int i = 0; i < count; ++i) {
                next.emplace_back(children[i], window == root_ ? children[i] : top);
            }
        }
        for (const auto& [window, top] : next) {
            const Reply<xcb_get_window_attributes_reply_t> attributes(
                xcb_get_window_attributes_reply(
                    connection_, xcb_get_window_attributes(connection_, window), nullptr),
                &std::free);
            const Reply<xcb_get_geometry_reply_t> geometry(
                xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr),
                &std::free);
            const Reply<xcb_translate_coordinates_reply_t> origin(
                xcb_translate_coordinates_reply(
                    connection_, xcb_translate_coordinates(connection_, window, root_, 0, 0),
                    nullptr),
                &std::free);
            if (!attributes || !geometry || !origin) {
                continue;  // gone meanwhile
            }
            DesktopWindow info;
            info.id = window;
            info.topLevel = top;
            info.geometry = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
            info.viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
            info.overrideRedirect = attributes->override_redirect != 0;
            info.pid = clientPid(connection_, window);
            result.push_back(info);
        }
        level = std::move(next);
    }
    return result;
}

std::vector<DesktopWindow> DesktopDriver::windowsOf(pid_t pid) const {
    std::vector<DesktopWindow> result;
    for (const DesktopWindow& window : windows()) {
        if (window.pid == pid) {
            result.push_back(window);
        }
    }
    return result;
}

std::vector<DesktopWindow> DesktopDriver::trayIcons() const {
    const std::vector<DesktopWindow> all = windows();
    std::unordered_map<xcb_window_t, pid_t> ownerOf;
    for (const DesktopWindow& window : all) {
        ownerOf.emplace(window.id, window.pid);
    }
    std::vector<DesktopWindow> result;
    for (const DesktopWindow& window : all) {
        // The topmost window of a client inside another client's top-level window.
        const pid_t top = ownerOf[window.topLevel];
        if (window.viewable && window.pid != 0 && window.id != window.topLevel &&
            top != window.pid && !window.geometry.isEmpty()) {
            const bool nested = std::any_of(result.begin(), result.end(), [&](const auto& other) {
                return other.pid == window.pid && other.geometry.contains(window.geometry);
            });
            if (!nested) {
                result.push_back(window);
            }
        }
    }
    return result;
}

QRect DesktopDriver::trayIconOf(pid_t pid) const {
    for (const DesktopWindow& window : trayIcons()) {
        if (window.pid == pid) {
            return window.geometry;
        }
    }
    return {};
}

std::vector<DesktopWindow> DesktopDriver::popupsOf(pid_t pid) const {
    std::vector<DesktopWindow> result;
    for (const DesktopWindow& window : windowsOf(pid)) {
        if (window.id == window.topLevel && window.viewable && window.overrideRedirect) {
            result.push_back(window);
        }
    }
    return result;
}

QRect DesktopDriver::screenGeometry() const {
    if (connection_ == nullptr) {
        return {};
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    return {0, 0, screen->width_in_pixels, screen->height_in_pixels};
}

bool DesktopDriver::click(const QPoint& position) {
    // No --sync: it waits for the pointer to move and never returns when it is already there.
    // The motion and the press travel in order over xdotool's one connection anyway.
    return run(QStringLiteral("xdotool"),
               {QStringLiteral("mousemove"), QString::number(position.x()),
                QString::number(position.y()), QStringLiteral("click"), QStringLiteral("1")});
}

bool DesktopDriver::key(const QString& keys) {
    return run(QStringLiteral("xdotool"), {QStringLiteral("key"), keys});
}

bool DesktopDriver::screenshot(const QString& path) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return false;
    }
    return screen->grabWindow(0).save(path, "PNG");
}

BackgroundProgram::BackgroundProgram(const QString& program, const QStringList& arguments,
                                     const QProcessEnvironment& environment) {
    process_.setProcessEnvironment(environment);
    process_.setProgram(program);
    process_.setArguments(arguments);
    process_.start();
    process_.waitForStarted(10000);
}

BackgroundProgram::~BackgroundProgram() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

}  // namespace klosia::test
