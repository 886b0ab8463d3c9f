#include "menu/MenuWindowController.h"

#include <QCursor>
#include <QFontMetricsF>
#include <QGuiApplication>

#include <chrono>

#include "core/Dispatcher.h"
#include "core/NotificationBus.h"
#include "log/Vezizur.h"
#include "menu/MenuGeometry.h"
#include "menu/MenuViewController.h"
#include "menu/MenuWindow.h"
#include "menu/MenuWindowControllerDelegate.h"
#include "menu/RotateLabel.h"
#include "model/CPU.h"
#include "platform/Compositor.h"
#include "platform/Workspace.h"
#include "settings/Preferences.h"
#include "ui/WindowFade.h"

namespace klosia {

namespace {

constexpr Qt::KeyboardModifiers kFlagModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
constexpr std::chrono::seconds kCpuInterval{1};
// Titles are measured in a box of unlimited width, one line (17 points) high.
constexpr qreal kUnlimited = 1e6;
constexpr qreal kTitleLineHeight = 17;
constexpr qsizetype kKeptTitleWidths = 2000;

// The screen that holds the status icon: the menu is placed against its panel. Falls back to
// the screen under the pointer, then to the primary screen.
QScreen* screenFor(QPoint point) {
    if (QScreen* screen = QGuiApplication::screenAt(point)) {
        return screen;
    }
    if (QScreen* screen = QGuiApplication::screenAt(QCursor::pos())) {
        return screen;
    }
    return QGuiApplication::primaryScreen();
}

}  // namespace

MenuWindowController::MenuWindowController(Dispatcher& dispatcher, Workspace& workspace,
                                           Preferences& preferences, Compositor* compositor,
                                           UserDefaults* defaults, QObject* parent)
    : QObject(parent),
      dispatcher_(dispatcher),
      workspace_(workspace),
      preferences_(preferences),
      compositor_(compositor),
      appList_(defaults),
      window_(std::make_unique<MenuWindow>(dispatcher, preferences)),
      menuViewController_(window_->contentView()),
      // A second close during the closing fade would only run the same ending twice.
      fade_(new WindowFade(*window_, kFadeMilliseconds, WindowFade::CloseWhileClosing::ignored,
                           this)) {
    window_->menuWindowController = this;
    menuViewController_->menuWindowController = this;
    menuViewController_->delegate = this;
    connect(fade_, &WindowFade::fadedIn, this, &MenuWindowController::didFadeIn);
    connect(fade_, &WindowFade::closeDue, this, &MenuWindowController::closeMenu);
    connect(fade_, &WindowFade::fadedOut, this, &MenuWindowController::didFadeOut);

    observe(this, &MenuWindowController::workspaceDidLaunchApplicationNotification,
            names::didLaunchApplication);
    observe(this, &MenuWindowController::workspaceDidTerminateApplicationNotification,
            names::didTerminateApplication);
    observe(this, &MenuWindowController::menuDidChangedNotification, names::menuDidChanged);
    observe(this, &MenuWindowController::menuDeselectedAppsDidChangedNotification,
            names::menuDeselectedAppsDidChanged);
}

MenuWindowController::~MenuWindowController() {
    // The fade belongs to this object but animates the window, which goes first.
    delete fade_;
    window_->menuWindowController = nullptr;
    menuViewController_->menuWindowController = nullptr;
    menuViewController_->delegate = nullptr;
}

void MenuWindowController::openMenu(QPoint point) {
    if (isOpen()) {
        return;
    }
    updateCPU();
    workspace_.setWatchingResponses(true);
    openScreen_ = screenFor(point);
    statusPoint_ = point;
    if (!window_->isVisible()) {
        window_->setTranslucent(compositor_ != nullptr && compositor_->isRunning());
    }
    reloadApps();
    fade_->beginOpening();
    window_->show();
    window_->raise();
    window_->activateWindow();
    window_->setFocus(Qt::PopupFocusReason);
    if (compositor_ != nullptr) {
        compositor_->placeWindow(window_->windowTitle(), window_->frameGeometry());
    }
    logger.log("menu will open", VezizurLevel::info);
    menuViewController_->hoverIndex.reset();
}

void MenuWindowController::closeMenu() {
    // Escape or a press elsewhere in the first moments must not be lost: the fade keeps the close
    // for the end of the opening fade.
    if (fade_->beginClosing() != WindowFade::Closing::started) {
        return;
    }
    if (delegate != nullptr) {
        delegate->setStatusItemHighlighted(false);
    }
    logger.log("menu will close", VezizurLevel::info);
}

void MenuWindowController::didFadeIn() {
    logger.log("menu did open", VezizurLevel::info);
    // Alt pressed while the menu faded in was not counted yet: it counts once open.
    if (QGuiApplication::queryKeyboardModifiers().testFlag(Qt::AltModifier)) {
        flagsChanged(QGuiApplication::queryKeyboardModifiers());
    }
    startCpuTimer();
    Q_EMIT menuDidOpen();
}

void MenuWindowController::didFadeOut() {
    window_->closingByController = true;
    window_->hide();
    window_->closingByController = false;
    finishClosing();
}

void MenuWindowController::windowDidHide() {
    const bool wasClosing = phase() == Phase::closing;
    if (!fade_->abandon()) {
        return;
    }
    if (!wasClosing && delegate != nullptr) {
        delegate->setStatusItemHighlighted(false);
    }
    finishClosing();
}

void MenuWindowController::finishClosing() {
    logger.log("menu did close", VezizurLevel::info);
    menuViewController_->clearSearch();
    menuViewController_->resetForNextOpening();
    reloadApps();
    stopCpuTimer();
    workspace_.setWatchingResponses(false);
    Q_EMIT menuDidClose();
}

void MenuWindowController::flagsChanged(Qt::KeyboardModifiers modifiers) {
    if ((modifiers & kFlagModifiers) == Qt::AltModifier && isOpen()) {
        logger.log("flag alternate", VezizurLevel::info);
        menuViewController_->alternate = true;
    } else {
        logger.log("flag default", VezizurLevel::info);
        menuViewController_->alternate = false;
    }
    menuViewController_->updateKlosiaBt();
}

void MenuWindowController::layoutWindow() {
    if (!openScreen_) {
        return;
    }
    // Measuring a title lays its text out: the widths are kept, as every opening asks again for
    // the same titles.
    const QFont font = MenuViewController::titleFont();
    if (font.key() != titleWidthsFont_ || titleWidths_.size() > kKeptTitleWidths) {
        titleWidths_.clear();
        titleWidthsFont_ = font.key();
    }
    const QFontMetricsF metrics(font);
    std::vector<qreal> widths;
    for (const MenuAppPtr& app : menuViewController_->filteredApplications()) {
        const QString title = app ? app->title() : QString();
        auto known = titleWidths_.constFind(title);
        if (known == titleWidths_.constEnd()) {
            known = titleWidths_.insert(
                title, metrics
                           .boundingRect(QRectF(0, 0, kUnlimited, kTitleLineHeight),
                                         Qt::AlignLeft | Qt::AlignTop, title)
                           .width());
        }
        widths.push_back(*known);
    }
    if (!workspace_.unavailableReason().isEmpty()) {
        widths.assign(2, 0);  // the notice takes the place of two rows
    } else if (!workspace_.banner().text.isEmpty()) {
        widths.insert(widths.end(), 2, 0);  // the banner stands above the rows, two rows high
    }
    const QRect available = openScreen_->availableGeometry();
    const QSize size = menugeometry::windowSize(widths, available.size());
    const QPoint origin =
        menugeometry::windowOrigin(size, statusPoint_, openScreen_->geometry(), available);
    if (QGuiApplication::platformName() == QLatin1String("wayland")) {
        // A window of one size only is one a tiling compositor floats rather than tiles.
        window_->setFixedSize(size);
    }
    window_->setGeometry(QRect(origin, size));
    if (window_->isVisible() && compositor_ != nullptr) {
        compositor_->placeWindow(window_->windowTitle(), window_->frameGeometry());
    }
    // A hidden window gets its resize event only when shown; the content needs its size now.
    menuViewController_->setGeometry(QRect(QPoint(0, 0), size));
    menuViewController_->updateBackground();
}

void MenuWindowController::reloadApps() {
    std::vector<MenuAppPtr> apps = appList_.rebuild(workspace_.runningApplications(), preferences_);
    if (!isOpen()) {
        drawTip();
    }
    menuViewController_->setApplications(std::move(apps));
    menuViewController_->updateKlosiaTitle();
    menuViewController_->setNotice(workspace_.unavailableReason());
    menuViewController_->setBanner(workspace_.banner());
    menuViewController_->updateBackground();
    menuViewController_->updateSelectAllBt();
    menuViewController_->reloadData();
    layoutWindow();
}

void MenuWindowController::drawTip() {
    RotateLabel& label = *menuViewController_->rotateLabel();
    if (preferences_.disableTips()) {
        label.clearText();
        return;
    }
    label.setTip(RotateTip::draw(tipRandom_));
}

void MenuWindowController::updateCPU() {
    CPU::broadcastSample(dispatcher_);
}

void MenuWindowController::startCpuTimer() {
    cpuTimerRunning_ = true;
    scheduleCpuTick(++cpuTimerGeneration_);
}

void MenuWindowController::stopCpuTimer() {
    cpuTimerRunning_ = false;
    ++cpuTimerGeneration_;
}

void MenuWindowController::scheduleCpuTick(std::uint64_t generation) {
    dispatcher_.mainAfter(kCpuInterval, [guard = QPointer(this), generation] {
        MenuWindowController* self = guard.data();
        if (self == nullptr || self->cpuTimerGeneration_ != generation) {
            return;
        }
        self->updateCPU();
        self->scheduleCpuTick(generation);
    });
}

void MenuWindowController::didCheck(const MenuAppPtr& app, bool selected) {
    appList_.didCheck(app, selected);
}

void MenuWindowController::didHover(std::optional<int> /*index*/) {}

void MenuWindowController::didChangePolicy(const MenuAppPtr& app, MenuAppPolicy policy) {
    appList_.didChangePolicy(app, policy);
    reloadApps();
}

void MenuWindowController::reloadAppsLater() {
    dispatcher_.main([guard = QPointer(this)] {
        if (MenuWindowController* self = guard.data()) {
            self->reloadApps();
        }
    });
}

void MenuWindowController::workspaceDidLaunchApplicationNotification(const Notification&) {
    reloadAppsLater();
}

void MenuWindowController::workspaceDidTerminateApplicationNotification(const Notification&) {
    reloadAppsLater();
}

void MenuWindowController::menuDidChangedNotification(const Notification&) {
    reloadAppsLater();
}

void MenuWindowController::menuDeselectedAppsDidChangedNotification(const Notification&) {
    dispatcher_.main([guard = QPointer(this)] {
        if (MenuWindowController* self = guard.data()) {
            self->appList_.deselectAppsDidChange();
            self->reloadApps();
        }
    });
}

}  // namespace klosia
