#include "platform/x11/X11Application.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QThread>

#include "log/Vezizur.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/x11/NetWmIcon.h"
#include "platform/x11/WindowFilter.h"
#include "platform/x11/X11Pinger.h"
#include "platform/x11/X11Snapshot.h"
#include "platform/x11/XcbConnection.h"

namespace klosia {

namespace {

// _NET_ACTIVE_WINDOW and _NET_CLOSE_WINDOW carry where a request comes from; 2 is a pager or
// task bar, i.e. a direct request of the user, which window managers do not second-guess.
constexpr std::uint32_t kSourcePager = 2;

}  // namespace

X11Application::X11Application(std::shared_ptr<XcbConnection> connection)
    : connection_(std::move(connection)) {}

QString X11Application::localizedName() const {
    const std::lock_guard lock(mutex_);
    return name_;
}

QString X11Application::bundleIdentifier() const {
    const std::lock_guard lock(mutex_);
    return bundleIdentifier_;
}

QString X11Application::iconName() const {
    const std::lock_guard lock(mutex_);
    return iconName_;
}

std::uint32_t X11Application::iconWindow() const {
    const std::lock_guard lock(mutex_);
    return iconWindow_;
}

namespace {

// Pixmaps may only be made on the GUI thread, and only when there is a GUI.
bool onGuiThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return qobject_cast<const QGuiApplication*>(app) != nullptr &&
           QThread::currentThread() == app->thread();
}

}  // namespace

QIcon X11Application::icon() const {
    if (!onGuiThread()) {
        if (qobject_cast<const QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
            Q_ASSERT_X(false, "X11Application::icon", "called off the GUI thread");
            static std::atomic<bool> reported{false};
            if (!reported.exchange(true)) {
                logger.log("an application's icon was asked for off the GUI thread: none given",
                           VezizurLevel::error);
            }
        }
        return {};
    }
    QString iconName;
    std::uint32_t iconWindow = 0;
    WindowIcon windowIcon;
    std::uint64_t generation = 0;
    {
        const std::lock_guard lock(mutex_);
        if (icon_ && iconBuiltFrom_ == iconGeneration_) {
            return *icon_;
        }
        iconName = iconName_;
        iconWindow = iconWindow_;
        windowIcon = windowIcon_;
        generation = iconGeneration_;
    }
    // Built without the lock: the theme lookup and an X read must not hold up the workspace.
    QIcon icon;
    if (!iconName.isEmpty()) {
        icon = iconFor(iconName);
    }
    if (icon.isNull() && !windowIcon && iconWindow != 0 && connection_) {
        windowIcon = std::make_shared<const std::vector<QImage>>(
            std::move(readWindowIcons(*connection_, {iconWindow}).front()));
    }
    if (icon.isNull() && windowIcon) {
        icon = iconFromImages(*windowIcon);
    }
    const std::lock_guard lock(mutex_);
    if (generation == iconGeneration_) {
        icon_ = icon;
        iconBuiltFrom_ = generation;
        if (!windowIcon_) {
            windowIcon_ = windowIcon;
        }
    }
    return icon;
}

ActivationPolicy X11Application::activationPolicy() const {
    return policy_.load();
}

bool X11Application::isActive() const {
    return active_.load() && !terminated_.load();
}

bool X11Application::activate() {
    if (isTerminated() || !connection_) {
        return false;
    }
    const X11Snapshot snapshot = X11Snapshot::take(*connection_, false);
    const WindowGrouping grouping =
        groupWindowsByProcess(snapshot.windows, 0, 0, {}, snapshot.windowManager);
    for (const ProcessWindows& process : grouping.processes) {
        if (process.owner == owner() && process.primary != ProcessWindows::none) {
            const std::uint32_t window = snapshot.windows[process.primary].id;
            if (!snapshot.managed) {
                return connection_->raiseAndFocus(window);
            }
            return connection_->sendRootMessage(window, X11Atom::netActiveWindow,
                                                {kSourcePager, XCB_CURRENT_TIME, 0, 0, 0});
        }
    }
    logger.log(describe() + " has no window to activate", VezizurLevel::info);
    return false;
}

std::vector<std::size_t> X11Application::askable(const X11Snapshot& snapshot,
                                                 const std::vector<std::size_t>& windows) {
    std::vector<std::size_t> result;
    for (const std::size_t index : windows) {
        if (snapshot.windows[index].deleteProtocol) {
            result.push_back(index);
        }
    }
    return result;
}

bool X11Application::askToClose(const X11Snapshot& snapshot,
                                const std::vector<std::size_t>& windows) const {
    bool ok = true;
    for (const std::size_t index : windows) {
        const std::uint32_t window = snapshot.windows[index].id;
        // Without a window manager that takes _NET_CLOSE_WINDOW the request would reach nobody.
        ok = (snapshot.closeRequests
                  ? connection_->sendRootMessage(window, X11Atom::netCloseWindow,
                                                 {XCB_CURRENT_TIME, kSourcePager, 0, 0, 0})
                  : connection_->sendDeleteWindow(window)) &&
             ok;
    }
    logger.log("asked " + describe() + " to close " + std::to_string(windows.size()) +
                   " window(s)" + (snapshot.closeRequests ? "" : " directly (no window manager)"),
               VezizurLevel::info);
    return ok;
}

bool X11Application::refusedAsDesktop(const X11Snapshot& snapshot, const char* request) const {
    if (!isDesktopOwner(snapshot.windows, snapshot.windowManager, owner())) {
        return false;
    }
    logger.log(std::string("refused ") + request + " to " + describe() +
                   ": it is part of the desktop (window manager, panel or desktop window)",
               VezizurLevel::error);
    return true;
}

void X11Application::setIdentity(const QString& bundleIdentifier, const QString& name,
                                 const QString& iconName) {
    const std::lock_guard lock(mutex_);
    if (iconName != iconName_) {
        ++iconGeneration_;
    }
    bundleIdentifier_ = bundleIdentifier;
    name_ = name;
    iconName_ = iconName;
}

void X11Application::setIconWindow(std::uint32_t window) {
    const std::lock_guard lock(mutex_);
    if (window != iconWindow_ && !windowIcon_) {
        ++iconGeneration_;  // an icon read on demand comes from the new window
    }
    iconWindow_ = window;
}

void X11Application::setWindowIcon(WindowIcon images) {
    const std::lock_guard lock(mutex_);
    if (images != windowIcon_) {
        windowIcon_ = std::move(images);
        ++iconGeneration_;
    }
}

void X11Application::setActivationPolicy(ActivationPolicy policy) {
    policy_.store(policy);
}

void X11Application::setActive(bool active) {
    active_.store(active);
}

void X11Application::markTerminated() {
    terminated_.store(true);
    active_.store(false);
}

bool X11Application::isResponding() const {
    std::shared_ptr<const X11Pinger> pinger;
    std::vector<std::uint32_t> windows;
    {
        const std::lock_guard lock(mutex_);
        pinger = pinger_;
        windows = pingWindows_;
    }
    return !pinger || !pinger->anyHung(windows);
}

void X11Application::setPings(std::shared_ptr<const X11Pinger> pinger,
                              std::vector<std::uint32_t> windows) {
    const std::lock_guard lock(mutex_);
    pinger_ = std::move(pinger);
    pingWindows_ = std::move(windows);
}

}  // namespace klosia
