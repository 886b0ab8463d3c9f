#pragma once

#include <QHash>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QScreen>

#include <cstdint>
#include <memory>
#include <optional>

#include "core/Notification.h"
#include "menu/MenuViewCellDelegate.h"
#include "menu/RotateTip.h"
#include "model/AppListState.h"
#include "ui/WindowFade.h"

namespace klosia {

class Compositor;
class Dispatcher;
class MenuViewController;
class MenuWindow;
class MenuWindowControllerDelegate;
class Preferences;
class UserDefaults;
class Workspace;

// Owns the menu window: opens it at the status icon with a short fade, sizes and places it for
// the list it shows, closes it on a press anywhere else, tracks the Alt key, rebuilds the list
// when applications come and go, and samples the processor load once a second while open.
//
// The window moves through closed -> opening (fading in, isOpen() still false) -> open (isOpen()
// true, samples running) -> closing (fading out, isOpen() still true) -> closed. openMenu() is
// ignored while isOpen() is true and closeMenu() while it is false: during the opening fade a
// second openMenu() starts the opening again and a close is ignored.
class MenuWindowController final : public QObject, public MenuViewCellDelegate {
    Q_OBJECT

public:
    // Length of each fade.
    static constexpr int kFadeMilliseconds = 100;

    using Phase = WindowFade::Phase;

    // Everything passed in must outlive the controller. `compositor` may be null (then the menu
    // is always opaque); policies are kept in `defaults`, or without one in the standard user
    // defaults of the moment. Registers its four notification observers on the default bus.
    MenuWindowController(Dispatcher& dispatcher, Workspace& workspace, Preferences& preferences,
                         Compositor* compositor = nullptr, UserDefaults* defaults = nullptr,
                         QObject* parent = nullptr);
    ~MenuWindowController() override;
    MenuWindowController(const MenuWindowController&) = delete;
    MenuWindowController& operator=(const MenuWindowController&) = delete;

    // Shows the window for the status icon at `point` (global coordinates, device-independent
    // pixels): the icon's centre, or where the tray reported the press. Samples the load at
    // once, rebuilds the list, takes the keyboard and fades in.
    void openMenu(QPoint point);
    // Fades the window out; when the fade ends it is hidden, the search is cleared, the list
    // rebuilt and the load no longer sampled.
    void closeMenu();
    bool isOpen() const { return fade_->isOpen(); }
    Phase phase() const { return fade_->phase(); }

    // The modifier keys changed: the alternate mode is on exactly when, of Shift, Ctrl, Alt and
    // Super, Alt alone is held while the menu is open.
    void flagsChanged(Qt::KeyboardModifiers modifiers);

    // Sizes the window for the shown entries and places it at the status icon, on the screen
    // the menu opened on. Nothing happens before the menu was first opened.
    void layoutWindow();

    // Rebuilds the list from the workspace, hands it to the menu view and lays the window out.
    // While the menu is not open it also draws a new tip (or empties the line when tips are
    // off), so each opening may show another one; an open menu keeps its tip.
    void reloadApps();
    // Where the tips' draws take their randomness; the system's generator unless set.
    void setTipRandomSource(RotateTip::RandomSource source) { tipRandom_ = std::move(source); }
    // Starts one load sample in the background; its result is posted as "CPUDidChanged".
    void updateCPU();

    // MenuViewCellDelegate: the row's check state is remembered; a policy is stored and the
    // list rebuilt.
    void didCheck(const MenuAppPtr& app, bool selected) override;
    void didHover(std::optional<int> index) override;
    void didChangePolicy(const MenuAppPtr& app, MenuAppPolicy policy) override;

    // Notification handlers; each rebuilds the list on the main queue.
    void workspaceDidLaunchApplicationNotification(const Notification& notification);
    void workspaceDidTerminateApplicationNotification(const Notification& notification);
    void menuDidChangedNotification(const Notification& notification);
    void menuDeselectedAppsDidChangedNotification(const Notification& notification);

    // The window was hidden by something other than the closing fade (the window system, or
    // Qt closing its popups): the menu is closed now.
    void windowDidHide();

    MenuWindow* window() const { return window_.get(); }
    MenuViewController* menuViewController() const { return menuViewController_; }
    Preferences& preferences() const { return preferences_; }
    // The check states the user left and whether the next rebuild applies the default one.
    AppListState& appList() { return appList_; }
    QPoint statusPoint() const { return statusPoint_; }
    QScreen* openScreen() const { return openScreen_; }
    bool isCpuTimerRunning() const { return cpuTimerRunning_; }

    // The application that owns the status icon. Not owned.
    MenuWindowControllerDelegate* delegate = nullptr;

Q_SIGNALS:
    // The opening fade ended (isOpen() is true now).
    void menuDidOpen();
    // The closing fade ended, or the window was hidden otherwise (isOpen() is false now).
    void menuDidClose();

private:
    void didFadeIn();
    void didFadeOut();
    void finishClosing();
    void startCpuTimer();
    void stopCpuTimer();
    void scheduleCpuTick(std::uint64_t generation);
    void reloadAppsLater();
    void drawTip();

    Dispatcher& dispatcher_;
    Workspace& workspace_;
    Preferences& preferences_;
    Compositor* compositor_;
    AppListState appList_;

    std::unique_ptr<MenuWindow> window_;
    MenuViewController* menuViewController_;
    WindowFade* fade_;
    RotateTip::RandomSource tipRandom_ = RotateTip::systemRandom();

    QPoint statusPoint_;
    QPointer<QScreen> openScreen_;
    QHash<QString, qreal> titleWidths_;
    QString titleWidthsFont_;

    // A tick belongs to the timer of its generation; stopping or restarting moves on.
    std::uint64_t cpuTimerGeneration_ = 0;
    bool cpuTimerRunning_ = false;
};

}  // namespace klosia
