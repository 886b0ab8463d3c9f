#include <gtest/gtest.h>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScreen>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "core/NotificationBus.h"
#include "fakes/FakeCompositor.h"
#include "fakes/FakeRunningApplication.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "menu/HoverButton.h"
#include "menu/MenuTableView.h"
#include "menu/MenuViewController.h"
#include "menu/MenuWindow.h"
#include "menu/MenuWindowController.h"
#include "menu/MenuWindowControllerDelegate.h"
#include "model/AppPolicies.h"
#include "model/CPU.h"
#include "platform/BlindWorkspace.h"
#include "platform/ProcessStatus.h"
#include "settings/Preferences.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

using namespace klosia;
using test::FakeRunningApplication;
using Phase = MenuWindowController::Phase;

namespace {

class CountingProcessStatus final : public ProcessStatus {
public:
    std::optional<QByteArray> sample() override {
        ++samples;
        return QByteArray("  PID %CPU\n  7  1.5\n");
    }
    std::atomic<int> samples{0};
};

class RecordingDelegate final : public MenuWindowControllerDelegate {
public:
    void setStatusItemHighlighted(bool highlighted) override { calls.push_back(highlighted); }
    std::vector<bool> calls;
};

QStringList titles(const MenuViewController& view) {
    QStringList out;
    for (const MenuAppPtr& app : view.filteredApplications()) {
        out << app->title();
    }
    return out;
}

class MenuWindowControllerTest : public ::testing::Test {
public:
    MenuWindowControllerTest() : bus(dispatcher), preferences(defaults), cpu(&status) {
        NotificationBus::setDefaultCenter(&bus);
        CPU::setShared(&cpu);
        bus.observe(
            &owner, [this](const Notification&) { ++cpuPosts; }, names::cpuDidChanged);
        workspace.setApplications({FakeRunningApplication::make("Mail", "org.example.mail"),
                                   FakeRunningApplication::make("Zoom", "us.zoom"),
                                   FakeRunningApplication::make("Daemon", "org.example.daemon",
                                                                ActivationPolicy::prohibited)});
        controller = std::make_unique<MenuWindowController>(dispatcher, workspace, preferences,
                                                            &compositor, &defaults);
        controller->delegate = &delegate;
    }
    ~MenuWindowControllerTest() override {
        controller.reset();
        CPU::setShared(nullptr);
        NotificationBus::setDefaultCenter(nullptr);
    }

protected:
    MenuWindow& window() { return *controller->window(); }
    MenuViewController& view() { return *controller->menuViewController(); }
    QPoint anchor() const {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        return {screen.center().x(), screen.top() + 5};
    }
    bool open() {
        controller->openMenu(anchor());
        return test::waitUntil([this] { return controller->isOpen(); });
    }
    bool waitClosed() {
        return test::waitUntil([this] { return controller->phase() == Phase::closed; });
    }
    void press(QPoint local) {
        QMouseEvent event(QEvent::MouseButtonPress, QPointF(local),
                          QPointF(window().mapToGlobal(local)), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(&window(), &event);
    }
    bool key(QEvent::Type type, int code, Qt::KeyboardModifiers modifiers) {
        QKeyEvent event(type, code, modifiers);
        event.setAccepted(false);
        QApplication::sendEvent(&window(), &event);
        return event.isAccepted();
    }
    std::size_t logged(const char* text) { return capture.matching(text).size(); }

    test::LogCapture capture;
    test::ManualDispatcher dispatcher;
    NotificationBus bus;
    test::RecordingDefaults defaults;
    Preferences preferences;
    CountingProcessStatus status;
    CPU cpu;
    test::FakeWorkspace workspace;
    test::FakeCompositor compositor;
    RecordingDelegate delegate;
    QObject owner;
    int cpuPosts = 0;
    std::unique_ptr<MenuWindowController> controller;
};

}  // namespace

TEST_F(MenuWindowControllerTest, FadesInAndOutThroughTheFourStates) {
    controller->openMenu(anchor());
    EXPECT_EQ(controller->phase(), Phase::opening);
    EXPECT_FALSE(controller->isOpen()) << "not open before the opening fade ends";
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(window().windowOpacity(), 0.0);
    EXPECT_EQ(logged("menu will open"), 1u);

    ASSERT_TRUE(test::waitUntil([this] { return controller->isOpen(); }));
    EXPECT_EQ(controller->phase(), Phase::open);
    EXPECT_EQ(window().windowOpacity(), 1.0);
    EXPECT_EQ(logged("menu did open"), 1u);
    EXPECT_EQ(QApplication::activePopupWidget(), &window());
    EXPECT_EQ(QApplication::focusWidget(), view().searchField())
        << "keys reach the menu's search field without a click";

    controller->openMenu(anchor());
    EXPECT_EQ(logged("menu will open"), 1u) << "opening an open menu is ignored";

    controller->closeMenu();
    EXPECT_EQ(controller->phase(), Phase::closing);
    EXPECT_TRUE(controller->isOpen()) << "still open while fading out";
    EXPECT_EQ(delegate.calls, std::vector<bool>{false}) << "the status icon is unhighlighted";
    controller->closeMenu();
    controller->openMenu(anchor());
    EXPECT_EQ(logged("menu will close"), 1u) << "a second close fades once";
    EXPECT_EQ(logged("menu will open"), 1u) << "opening during the closing fade is ignored";

    ASSERT_TRUE(waitClosed());
    EXPECT_FALSE(controller->isOpen());
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(logged("menu did close"), 1u);
    EXPECT_EQ(delegate.calls, std::vector<bool>{false});

    ASSERT_TRUE(open()) << "and it opens again";
    EXPECT_EQ(logged("menu did open"), 2u);
}

TEST_F(MenuWindowControllerTest, ACloseDuringTheOpeningFadeClosesTheMenuRightAfterIt) {
    for (const auto& close : std::vector<std::function<void()>>{
             [this] { press(QPoint(-20, -20)); },  // a press elsewhere
             [this] { key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier); },
         }) {
        capture.clear();
        controller->openMenu(anchor());
        close();
        EXPECT_EQ(controller->phase(), Phase::opening) << "the opening fade runs to its end";
        EXPECT_EQ(logged("menu will close"), 0u);
        ASSERT_TRUE(waitClosed()) << "the close was lost";
        EXPECT_EQ(logged("menu did open"), 1u);
        EXPECT_EQ(logged("menu will close"), 1u);
        EXPECT_FALSE(window().isVisible());
    }
    // Opened again before the fade ended, the menu stays open.
    controller->openMenu(anchor());
    controller->closeMenu();
    controller->openMenu(anchor());
    ASSERT_TRUE(test::waitUntil([this] { return controller->isOpen(); }));
    EXPECT_EQ(controller->phase(), Phase::open);
}

TEST_F(MenuWindowControllerTest, OpeningAgainDuringTheOpeningFadeRebuildsAndOpensOnce) {
    controller->openMenu(anchor());
    workspace.launch(FakeRunningApplication::make("Atlas", "org.example.atlas"));
    controller->openMenu(anchor() + QPoint(40, 0));
    EXPECT_EQ(logged("menu will open"), 2u);
    EXPECT_EQ(controller->statusPoint(), anchor() + QPoint(40, 0));
    EXPECT_EQ(titles(view()), (QStringList{"Atlas", "Mail", "Zoom"}));
    ASSERT_TRUE(test::waitUntil([this] { return controller->isOpen(); }));
    EXPECT_EQ(logged("menu did open"), 1u);
}

TEST_F(MenuWindowControllerTest, PressOutsideOrEscapeClosesPressInsideDoesNot) {
    ASSERT_TRUE(open());
    press(QPoint(10, 60));
    EXPECT_EQ(controller->phase(), Phase::open);
    press(QPoint(window().width() + 5, 10));
    EXPECT_EQ(controller->phase(), Phase::closing);
    ASSERT_TRUE(waitClosed());

    ASSERT_TRUE(open());
    EXPECT_TRUE(key(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    EXPECT_EQ(controller->phase(), Phase::closing);
    ASSERT_TRUE(waitClosed());
}

TEST_F(MenuWindowControllerTest, WindowHiddenByTheSystemLeavesTheMenuClosed) {
    ASSERT_TRUE(open());
    view().search = QStringLiteral("ma");
    window().hide();
    EXPECT_EQ(controller->phase(), Phase::closed);
    EXPECT_FALSE(controller->isOpen());
    EXPECT_FALSE(controller->isCpuTimerRunning());
    EXPECT_FALSE(view().search.has_value()) << "the search is cleared as on every close";
    EXPECT_EQ(logged("menu did close"), 1u);
    EXPECT_EQ(delegate.calls, std::vector<bool>{false});
    ASSERT_TRUE(open());
}

TEST_F(MenuWindowControllerTest, SamplesTheLoadAtOnceThenEverySecondOnlyWhileOpen) {
    controller->openMenu(anchor());
    dispatcher.runUntilIdle();
    EXPECT_EQ(cpuPosts, 1) << "one sample as the menu opens";
    dispatcher.advance(std::chrono::seconds(3));
    EXPECT_EQ(cpuPosts, 1) << "the timer starts when the opening fade ends";

    ASSERT_TRUE(test::waitUntil([this] { return controller->isOpen(); }));
    EXPECT_TRUE(controller->isCpuTimerRunning());
    dispatcher.advance(std::chrono::milliseconds(999));
    EXPECT_EQ(cpuPosts, 1);
    dispatcher.advance(std::chrono::milliseconds(1));
    EXPECT_EQ(cpuPosts, 2);
    dispatcher.advance(std::chrono::seconds(2));
    EXPECT_EQ(cpuPosts, 4);

    controller->closeMenu();
    ASSERT_TRUE(waitClosed());
    EXPECT_FALSE(controller->isCpuTimerRunning());
    dispatcher.advance(std::chrono::seconds(10));
    EXPECT_EQ(cpuPosts, 4) << "nothing is sampled while closed";
    EXPECT_EQ(status.samples, 4);

    ASSERT_TRUE(open());
    dispatcher.runUntilIdle();
    EXPECT_EQ(cpuPosts, 5);
    dispatcher.advance(std::chrono::seconds(1));
    EXPECT_EQ(cpuPosts, 6) << "one timer, not one per opening";
}

TEST_F(MenuWindowControllerTest, WindowIsSizedForTheShownRowsAndHangsBelowATopPanel) {
    ASSERT_TRUE(open());
    EXPECT_EQ(titles(view()), (QStringList{"Mail", "Zoom"})) << "background apps hidden";
    const QRect frame = window().geometry();
    EXPECT_EQ(frame.height(), 2 * 27 + 135);
    EXPECT_GE(frame.width(), 270);
    EXPECT_LE(frame.width(), 440);
    EXPECT_EQ(frame.top(), QGuiApplication::primaryScreen()->geometry().top() + 25);
    EXPECT_LE(std::abs(frame.center().x() - anchor().x()), 1) << "centred on the icon";
    EXPECT_EQ(view().size(), frame.size());

    view().search = QStringLiteral("nothing matches this");
    controller->layoutWindow();
    EXPECT_EQ(window().size(), QSize(270, 135)) << "a search that matches nothing shrinks it";
    EXPECT_EQ(view().background().deviceIndependentSize().toSize(), QSize(270, 135));
}

TEST_F(MenuWindowControllerTest, AltAloneIsTheAlternateModeWhileOpen) {
    controller->flagsChanged(Qt::AltModifier);
    EXPECT_FALSE(view().alternate) << "closed";
    ASSERT_TRUE(open());
    capture.clear();

    EXPECT_TRUE(key(QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier));
    EXPECT_TRUE(view().alternate);
    key(QEvent::KeyPress, Qt::Key_Shift, Qt::AltModifier);
    EXPECT_FALSE(view().alternate) << "Alt with Shift is not the alternate mode";
    key(QEvent::KeyRelease, Qt::Key_Shift, Qt::AltModifier | Qt::ShiftModifier);
    EXPECT_TRUE(view().alternate);
    controller->flagsChanged(Qt::AltModifier | Qt::KeypadModifier);
    EXPECT_TRUE(view().alternate) << "only Shift, Ctrl, Alt and Super count";
    controller->flagsChanged(Qt::AltModifier | Qt::MetaModifier);
    EXPECT_FALSE(view().alternate);
    key(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_FALSE(view().alternate);
    EXPECT_EQ(logged("flag alternate"), 3u);
    EXPECT_EQ(logged("flag default"), 3u);
}

TEST_F(MenuWindowControllerTest, AltReadsTheSameFromTheCopiesAScreenReadersBridgeSends) {
    // While a screen reader runs, Qt hands each key event on as a copy made from the event's
    // modifiers(), which for a modifier key already has that key's flag flipped.
    ASSERT_TRUE(open());
    key(QEvent::KeyPress, Qt::Key_Alt, Qt::AltModifier);
    EXPECT_TRUE(view().alternate) << "a copied press of Alt";
    key(QEvent::KeyRelease, Qt::Key_Alt, Qt::NoModifier);
    EXPECT_FALSE(view().alternate) << "a copied release of Alt";
}

TEST_F(MenuWindowControllerTest, CtrlBTogglesBackgroundAppsAndEveryCtrlKeyIsConsumed) {
    ASSERT_TRUE(open());
    EXPECT_TRUE(key(QEvent::KeyPress, Qt::Key_B, Qt::ControlModifier));
    EXPECT_TRUE(preferences.showBackgroundApps());
    dispatcher.runUntilIdle();
    EXPECT_EQ(titles(view()), (QStringList{"Daemon", "Mail", "Zoom"})) << "rebuilt on the post";
    EXPECT_EQ(window().height(), 3 * 27 + 135);

    EXPECT_TRUE(key(QEvent::KeyPress, Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_TRUE(key(QEvent::KeyPress, Qt::Key_W, Qt::ControlModifier));
    EXPECT_TRUE(preferences.showBackgroundApps()) << "Ctrl+Shift+B does nothing";
    QKeyEvent held(QEvent::KeyPress, Qt::Key_B, Qt::ControlModifier, QString(), true);
    QApplication::sendEvent(&window(), &held);
    EXPECT_TRUE(held.isAccepted());
    EXPECT_TRUE(preferences.showBackgroundApps()) << "a held key acts once";
    EXPECT_FALSE(key(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier)) << "plain keys pass";
    EXPECT_TRUE(key(QEvent::KeyPress, Qt::Key_B, Qt::ControlModifier));
    EXPECT_FALSE(preferences.showBackgroundApps());
    EXPECT_EQ(controller->phase(), Phase::open);
}

TEST_F(MenuWindowControllerTest, NotificationsAndRowsRebuildTheList) {
    controller->reloadApps();
    EXPECT_EQ(titles(view()), (QStringList{"Mail", "Zoom"}));
    workspace.launch(FakeRunningApplication::make("Atlas", "org.example.atlas"));
    bus.notify(names::didLaunchApplication);
    dispatcher.runUntilIdle();
    EXPECT_EQ(titles(view()), (QStringList{"Atlas", "Mail", "Zoom"}));
    workspace.quit(workspace.applications.front());  // Mail
    bus.notify(names::didTerminateApplication);
    dispatcher.runUntilIdle();
    EXPECT_EQ(titles(view()), (QStringList{"Atlas", "Zoom"}));

    // A row unchecked through the view is remembered across rebuilds.
    const MenuAppPtr zoom = view().applications().back();
    view().didCheck(zoom, false);
    EXPECT_TRUE(controller->appList().deselectedApps.contains("us.zoom"));
    controller->reloadApps();
    EXPECT_FALSE(view().applications().back()->selected);

    // A policy is stored and applied at once.
    view().didChangePolicy(view().applications().back(), MenuAppPolicy::always);
    EXPECT_EQ(loadAppPolicies(defaults).value("us.zoom"), MenuAppPolicy::always);
    EXPECT_TRUE(view().applications().back()->selected);

    // The deselect preference re-applies the default selection to unpolicied apps.
    preferences.setDeselectApps(true);
    dispatcher.runUntilIdle();
    EXPECT_FALSE(view().applications().front()->selected) << "Atlas, no policy";
    EXPECT_TRUE(view().applications().back()->selected) << "Zoom, always";
}

TEST_F(MenuWindowControllerTest, TranslucentOnlyOverACompositor) {
    ASSERT_TRUE(open());
    EXPECT_FALSE(window().isTranslucent());
    EXPECT_FALSE(window().mask().isEmpty()) << "opaque, cut to the menu's shape";
    controller->closeMenu();
    ASSERT_TRUE(waitClosed());

    compositor.running = true;
    ASSERT_TRUE(open());
    EXPECT_TRUE(window().isTranslucent());
    EXPECT_TRUE(window().mask().isEmpty());
    EXPECT_EQ(compositor.questions, 2) << "asked at each opening";
}

namespace {

TEST_F(MenuWindowControllerTest, ADesktopThatShowsNoWindowsGetsOneLineAndNoWayToQuit) {
    BlindWorkspace blind(
        QStringLiteral("This desktop does not let Klosia see other applications' windows."));
    controller = std::make_unique<MenuWindowController>(dispatcher, blind, preferences, &compositor,
                                                        &defaults);
    ASSERT_TRUE(open());
    EXPECT_TRUE(view().noticeLabel()->isVisible());
    EXPECT_EQ(view().noticeLabel()->text(), blind.unavailableReason());
    EXPECT_EQ(view().noticeLabel()->accessibleName(), blind.unavailableReason());
    EXPECT_FALSE(view().appsTableView()->isVisible()) << "a line instead of a list";
    EXPECT_FALSE(view().klosiaBt()->isEnabled());
    EXPECT_GE(view().noticeLabel()->height(), 2 * 27) << "room for the sentence";
    EXPECT_TRUE(view().applications().empty()) << "nothing there to quit";
    controller.reset();  // before `blind` goes
}

}  // namespace
