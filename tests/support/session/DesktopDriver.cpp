#include "support/session/DesktopDriver.h"

#include <xcb/res.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unordered_map>

#include "support/Wait.h"

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
    return statusNotifierIconOf(pid);
}

// Xfce's status tray runs in a panel plugin process of its own, whose window sits inside the
// panel, and draws each StatusNotifierItem as a button in that window: no window of the item's
// process marks the icon. With one item registered the button fills the tray's window.
QRect DesktopDriver::statusNotifierIconOf(pid_t pid) const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    QDBusMessage get = QDBusMessage::createMethodCall(
        QStringLiteral("org.kde.StatusNotifierWatcher"), QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << QStringLiteral("org.kde.StatusNotifierWatcher")
        << QStringLiteral("RegisteredStatusNotifierItems");
    const QDBusReply<QDBusVariant> items = bus.call(get, QDBus::Block, 2000);
    const QStringList registered =
        items.isValid() ? items.value().variant().toStringList() : QStringList{};
    if (registered.size() != 1) {
        return {};
    }
    const QDBusReply<uint> owner =
        bus.interface()->servicePid(registered.front().section('/', 0, 0));
    if (!owner.isValid() || static_cast<pid_t>(owner.value()) != pid) {
        return {};
    }
    // An empty tray shrinks to a pixel: the item's button is there once it has room for an icon.
    constexpr int kSmallestIcon = 16;
    const pid_t tray = statusTrayPid();
    for (const DesktopWindow& window : trayIcons()) {
        if (tray != 0 && window.pid == tray && window.geometry.width() >= kSmallestIcon &&
            window.geometry.height() >= kSmallestIcon) {
            return window.geometry;
        }
    }
    return {};
}

pid_t DesktopDriver::statusTrayPid() const {
    for (const DesktopWindow& window : trayIcons()) {
        QFile command(QStringLiteral("/proc/%1/cmdline").arg(window.pid));
        if (command.open(QIODevice::ReadOnly) && command.readAll().contains("/libsystray.so")) {
            return window.pid;
        }
    }
    return 0;
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

pid_t DesktopDriver::activeWindowPid() const {
    if (connection_ == nullptr) {
        return 0;
    }
    static const char name[] = "_NET_ACTIVE_WINDOW";
    const Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(connection_, xcb_intern_atom(connection_, 1, sizeof name - 1, name),
                              nullptr),
        &std::free);
    if (!atom) {
        return 0;
    }
    const Reply<xcb_get_property_reply_t> active(
        xcb_get_property_reply(
            connection_, xcb_get_property(connection_, 0, root_, atom->atom, XCB_ATOM_WINDOW, 0, 1),
            nullptr),
        &std::free);
    if (!active || xcb_get_property_value_length(active.get()) != 4) {
        return 0;
    }
    const auto window = *static_cast<const xcb_window_t*>(xcb_get_property_value(active.get()));
    return window == XCB_WINDOW_NONE ? 0 : clientPid(connection_, window);
}

bool DesktopDriver::canGrabKey(std::uint32_t keysym, std::uint16_t modifiers) const {
    if (connection_ == nullptr) {
        return false;
    }
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    const xcb_keycode_t first = setup->min_keycode;
    const auto count = static_cast<std::uint8_t>(setup->max_keycode - first + 1);
    const Reply<xcb_get_keyboard_mapping_reply_t> mapping(
        xcb_get_keyboard_mapping_reply(
            connection_, xcb_get_keyboard_mapping(connection_, first, count), nullptr),
        &std::free);
    if (!mapping) {
        return false;
    }
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(mapping.get());
    const int perCode = mapping->keysyms_per_keycode;
    for (int code = 0; code < count; ++code) {
        if (perCode == 0 || syms[static_cast<std::ptrdiff_t>(code) * perCode] != keysym) {
            continue;
        }
        const auto keycode = static_cast<xcb_keycode_t>(first + code);
        const Reply<xcb_generic_error_t> error(
            xcb_request_check(connection_,
                              xcb_grab_key_checked(connection_, 0, root_, modifiers, keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)),
            &std::free);
        if (error) {
            return false;
        }
        xcb_ungrab_key(connection_, keycode, root_, modifiers);
        xcb_flush(connection_);
        return true;
    }
    return false;
}

bool DesktopDriver::click(const QPoint& position) {
    // No --sync: it waits for the pointer to move and never returns when it is already there.
    // The motion and the press travel in order over xdotool's one connection anyway.
    return run(QStringLiteral("xdotool"),
               {QStringLiteral("mousemove"), QString::number(position.x()),
                QString::number(position.y()), QStringLiteral("click"), QStringLiteral("1")});
}

bool DesktopDriver::pressTrayIcon(const QRect& icon, const std::function<bool()>& happened,
                                  int button) {
    // The pointer comes from elsewhere each time: a GTK button made under a resting pointer
    // has not seen it enter, and takes no click until it does.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QPoint away = screen != nullptr ? screen->geometry().center() : QPoint(400, 300);
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (!xdotool({QStringLiteral("mousemove"), QString::number(away.x()),
                      QString::number(away.y()), QStringLiteral("mousemove"),
                      QString::number(icon.center().x()), QString::number(icon.center().y()),
                      QStringLiteral("click"), QString::number(button)})) {
            return false;
        }
        if (waitUntil(happened, std::chrono::milliseconds(1500))) {
            return true;
        }
    }
    return false;
}

bool DesktopDriver::key(const QString& keys) {
    return xdotool({QStringLiteral("key"), keys});
}

bool DesktopDriver::xdotool(const QStringList& arguments) {
    return run(QStringLiteral("xdotool"), arguments);
}

bool DesktopDriver::hasWindowTitled(pid_t pid, const QString& title) {
    // xdotool joins its criteria by "or" unless told --all; no match is exit status 1.
    QProcess search;
    search.start(
        QStringLiteral("xdotool"),
        {QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
         QStringLiteral("--pid"), QString::number(pid), QStringLiteral("--name"),
         QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$')});
    search.waitForFinished(10000);
    return search.exitCode() == 0 && !search.readAllStandardOutput().trimmed().isEmpty();
}

bool DesktopDriver::screenshot(const QString& path) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return false;
    }
    return screen->grabWindow(0).save(path, "PNG");
}

QString DesktopDriver::desktopTag() {
    const QString wm = qEnvironmentVariable("KLOSIA_SESSION_WM");
    if (wm == QLatin1String("xfwm4")) {
        return QStringLiteral("xfce-");
    }
    if (wm == QLatin1String("kwin")) {
        return QStringLiteral("kwin-");
    }
    return {};
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
