// The menu window on a real X server with a window manager and a tray: opened from a tray icon,
// placed against the panel, closed by presses elsewhere, driven by real keys. Screenshots of the
// open menu in a light and a dark palette are kept under the build directory.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QSystemTrayIcon>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "core/NotificationBus.h"
#include "core/QtDispatcher.h"
#include "fakes/FakeRunningApplication.h"
#include "fakes/FakeWorkspace.h"
#include "menu/MenuViewController.h"
#include "menu/MenuWindow.h"
#include "menu/MenuWindowController.h"
#include "model/CPU.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/linux/ProcProcessStatus.h"
#include "platform/x11/X11Compositor.h"
#include "settings/Preferences.h"
#include "support/Wait.h"
#include "support/session/DesktopDriver.h"

using namespace klosia;
using test::FakeRunningApplication;
using test::waitUntil;
using Phase = MenuWindowController::Phase;

namespace {

void xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    ASSERT_TRUE(process.waitForFinished(10000) && process.exitCode() == 0)
        << "xdotool " << arguments.join(QLatin1Char(' ')).toStdString() << ": "
        << process.readAllStandardError().toStdString();
}

void click(QPoint at) {
    xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
             QStringLiteral("click"), QStringLiteral("1")});
}

QPalette darkPalette() {
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x2d, 0x2d, 0x30));
    palette.setColor(QPalette::WindowText, QColor(0xea, 0xea, 0xea));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    palette.setColor(QPalette::Text, QColor(0xea, 0xea, 0xea));
    palette.setColor(QPalette::Mid, QColor(0x5a, 0x5a, 0x5e));
    palette.setColor(QPalette::PlaceholderText, QColor(0x9a, 0x9a, 0x9e));
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xe6));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

// The open menu with the status icon, cut from the screen.
void saveScreenshot(const MenuWindow& window, QPoint anchor, const QString& name) {
    QScreen* screen = window.screen();
    const QRect area =
        window.geometry().united(QRect(anchor, QSize(1, 1))).adjusted(-24, -24, 24, 24);
    const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    QDir().mkpath(QStringLiteral(KLOSIA_ARTIFACT_DIR));
    const QString path = QStringLiteral(KLOSIA_ARTIFACT_DIR "/%1.png").arg(name);
    EXPECT_TRUE(shot.save(path)) << path.toStdString();
    std::printf("screenshot: %s\n", qPrintable(path));
}

class MenuSessionTest : public ::testing::Test {
public:
    MenuSessionTest() : bus(dispatcher), preferences(defaults), cpu(&processStatus) {
        NotificationBus::setDefaultCenter(&bus);
        CPU::setShared(&cpu);
        QString error;
        compositor = createX11Compositor(&error);
        workspace.setApplications(
            {FakeRunningApplication::make("Text Editor", "org.example.editor"),
             FakeRunningApplication::make("Calendar", "org.example.calendar"),
             FakeRunningApplication::make("Web Browser", "org.example.browser"),
             FakeRunningApplication::make("Terminal", "org.example.terminal"),
             FakeRunningApplication::make("Indexer", "org.example.indexer",
                                          ActivationPolicy::prohibited)});
        controller = std::make_unique<MenuWindowController>(dispatcher, workspace, preferences,
                                                            compositor.get(), &defaults);
    }
    ~MenuSessionTest() override {
        controller.reset();
        dispatcher.waitForBackground();
        CPU::setShared(nullptr);
        NotificationBus::setDefaultCenter(nullptr);
    }

protected:
    QtDispatcher dispatcher;
    NotificationBus bus;
    MemoryUserDefaults defaults;
    Preferences preferences;
    ProcProcessStatus processStatus;
    CPU cpu;
    test::FakeWorkspace workspace;
    std::unique_ptr<Compositor> compositor;
    std::unique_ptr<MenuWindowController> controller;
};

}  // namespace

TEST_F(MenuSessionTest, TrayIconOpensTheMenuAtThePanelAndPressesElsewhereCloseIt) {
    ASSERT_TRUE(compositor);
    ASSERT_TRUE(waitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }));
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::darkCyan);
    QSystemTrayIcon icon{QIcon(pixmap)};
    icon.show();
    // An icon docked in the tray knows its place, and reports the origin until the tray has
    // embedded it; one that the tray draws as an item does not, and is found on the panel.
    const test::DesktopDriver driver;
    const auto place = [&] {
        const QRect docked = icon.geometry();
        if (docked.isEmpty() || docked.topLeft() == QPoint(0, 0)) {
            return driver.trayIconOf(getpid());
        }
        return docked;
    };
    // It sits on the panel, outside the area the panel leaves free.
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(waitUntil([&] {
        const QRect where = place();
        return !where.isEmpty() && !free.contains(where.center());
    }));
    const QPoint anchor = place().center();

    // What the application does with a press on its icon: toggle.
    int activations = 0;
    QObject::connect(&icon, &QSystemTrayIcon::activated, [&](QSystemTrayIcon::ActivationReason) {
        ++activations;
        if (controller->isOpen()) {
            controller->closeMenu();
        } else {
            controller->openMenu(anchor);
        }
    });
    MenuWindow& window = *controller->window();
    MenuViewController& view = *controller->menuViewController();

    test::DesktopDriver::pressTrayIcon(place(), [&] { return activations > 0; });
    ASSERT_TRUE(waitUntil([&] { return controller->isOpen(); }))
        << "activations " << activations << ", phase " << static_cast<int>(controller->phase())
        << ", icon at " << anchor.x() << "," << anchor.y();
    EXPECT_EQ(activations, 1);
    EXPECT_FALSE(window.isTranslucent()) << "the session runs no compositing manager";

    // Placed against the panel, inside the free area, centred on the icon where it fits.
    QScreen* screen = controller->openScreen();
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(screen->availableGeometry(), free);
    const QRect frame = window.geometry();
    EXPECT_EQ(frame.size(), QSize(frame.width(), 4 * 27 + 135));
    EXPECT_TRUE(free.contains(frame)) << "inside the area the panel leaves free";
    const bool topPanel = free.top() > screen->geometry().top();
    const bool bottomPanel = free.bottom() < screen->geometry().bottom();
    ASSERT_TRUE(topPanel != bottomPanel) << "the session has one panel, at the top or bottom";
    if (topPanel) {
        EXPECT_EQ(frame.top(), std::max(free.top(), screen->geometry().top() + 25));
    } else {
        EXPECT_EQ(frame.bottom(), std::min(free.bottom(), screen->geometry().bottom() - 25));
    }
    const int centred = anchor.x() - frame.width() / 2;
    EXPECT_EQ(frame.left(), std::clamp(centred, free.left(), free.right() + 1 - frame.width()));

    const QString panel = topPanel ? QStringLiteral("top") : QStringLiteral("bottom");
    saveScreenshot(window, anchor,
                   QStringLiteral("menu-%1%2-light").arg(test::DesktopDriver::desktopTag(), panel));
    const QPalette original = QApplication::palette();
    QApplication::setPalette(darkPalette());
    ASSERT_TRUE(waitUntil([&] {
        return view.background().pixelColor(view.width() / 2, view.height() - 20) ==
               darkPalette().color(QPalette::Window);
    }));
    window.repaint();
    saveScreenshot(window, anchor,
                   QStringLiteral("menu-%1%2-dark").arg(test::DesktopDriver::desktopTag(), panel));
    QApplication::setPalette(original);

    // The keyboard is the menu's without a click: Ctrl+B, and Alt held and released.
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+b")});
    ASSERT_TRUE(waitUntil([&] { return preferences.showBackgroundApps(); }));
    ASSERT_TRUE(waitUntil([&] { return view.filteredApplications().size() == 5; }));
    xdotool({QStringLiteral("keydown"), QStringLiteral("alt")});
    ASSERT_TRUE(waitUntil([&] { return view.alternate; }));
    xdotool({QStringLiteral("keyup"), QStringLiteral("alt")});
    ASSERT_TRUE(waitUntil([&] { return !view.alternate; }));

    // A press inside does not close it. The key after it is handled after the press, so once
    // its effect shows, the press has been handled too.
    click(window.geometry().center());
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+b")});
    ASSERT_TRUE(waitUntil([&] { return !preferences.showBackgroundApps(); }));
    EXPECT_EQ(controller->phase(), Phase::open);

    // A press on the icon closes it without a second activation, so the next press opens.
    click(anchor);
    ASSERT_TRUE(waitUntil([&] { return controller->phase() == Phase::closed; }));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(activations, 1) << "the popup took the press";
    click(anchor);
    ASSERT_TRUE(waitUntil([&] { return controller->isOpen(); }));
    EXPECT_EQ(activations, 2);

    // A press on the desktop, away from the panel, closes it.
    const QPoint desktop(free.left() + 10, topPanel ? free.bottom() - 10 : free.top() + 10);
    ASSERT_FALSE(window.geometry().contains(desktop));
    click(desktop);
    ASSERT_TRUE(waitUntil([&] { return controller->phase() == Phase::closed; }));

    // Escape closes it as well.
    controller->openMenu(anchor);
    ASSERT_TRUE(waitUntil([&] { return controller->isOpen(); }));
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(waitUntil([&] { return controller->phase() == Phase::closed; }));
}

TEST(X11CompositorSession, RunsExactlyWhileTheSelectionHasAnOwner) {
    QString error;
    const std::unique_ptr<Compositor> compositor = createX11Compositor(&error);
    ASSERT_TRUE(compositor) << error.toStdString();
    EXPECT_FALSE(compositor->isRunning()) << "openbox is no compositing manager";

    // Play a compositing manager: own _NET_WM_CM_S<screen> with a window of our own.
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    ASSERT_EQ(xcb_connection_has_error(c), 0);
    const std::string name = "_NET_WM_CM_S" + std::to_string(screenNumber);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
        xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
            nullptr),
        &std::free);
    ASSERT_TRUE(atom);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i) {
        xcb_screen_next(&screens);
    }
    const xcb_window_t owner = xcb_generate_id(c);
    xcb_create_window(c, XCB_COPY_FROM_PARENT, owner, screens.data->root, 0, 0, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
    xcb_set_selection_owner(c, owner, atom->atom, XCB_CURRENT_TIME);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));  // a round trip
    EXPECT_TRUE(compositor->isRunning());

    xcb_destroy_window(c, owner);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    EXPECT_FALSE(compositor->isRunning()) << "the selection goes with its owner's window";
    xcb_disconnect(c);
}
