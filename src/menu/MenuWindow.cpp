#include "menu/MenuWindow.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "core/NotificationBus.h"
#include "menu/MenuViewController.h"
#include "menu/MenuWindowController.h"
#include "menu/SettingsMenu.h"
#include "settings/Preferences.h"
#include "ui/KeyModifiers.h"
#include "ui/Translucency.h"

namespace klosia {

namespace {

constexpr Qt::KeyboardModifiers kShortcutModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

}  // namespace

bool MenuWindow::isModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
            return true;
        default:
            return false;
    }
}

MenuWindow::MenuWindow(Dispatcher& dispatcher, Preferences& preferences, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint | Qt::NoDropShadowWindowHint),
      content_(new MenuViewController(dispatcher, preferences, this)) {
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::StrongFocus);
    // The keyboard starts in the search field: typing filters at once, Down reaches the rows.
    setFocusProxy(content_);
    setAccessibleName(tr("Applications menu"));
    // Where the compositor lists and places windows (Wayland), it knows the menu by this.
    setWindowTitle(tr("Applications menu"));
}

void MenuWindow::setTranslucent(bool translucent) {
    klosia::setTranslucent(*this, translucent);
}

bool MenuWindow::isTranslucent() const {
    return klosia::isTranslucent(*this);
}

bool MenuWindow::performKeyEquivalent(const QKeyEvent& event) {
    // A held key acts once: the list would flicker between its two forms.
    if ((event.modifiers() & kShortcutModifiers) != Qt::ControlModifier || event.isAutoRepeat()) {
        return true;
    }
    if (event.key() == Qt::Key_B) {
        if (MenuWindowController* controller = menuWindowController.data()) {
            Preferences& preferences = controller->preferences();
            preferences.setShowBackgroundApps(!preferences.showBackgroundApps());
        }
        notify(names::menuDidChanged);
    } else if (event.key() == Qt::Key_Q) {
        // The settings menu shows Ctrl+Q beside its Quit item.
        content_->settingsMenu()->quitItemPress(content_->settingsMenu()->quitItem());
    }
    return true;
}

void MenuWindow::keyPressEvent(QKeyEvent* event) {
    MenuWindowController* controller = menuWindowController.data();
    if (isModifierKey(event->key())) {
        if (controller != nullptr) {
            controller->flagsChanged(modifiersAfterKey(*event));
        }
        event->accept();
        return;
    }
    if (event->modifiers().testFlag(Qt::ControlModifier)) {
        event->setAccepted(performKeyEquivalent(*event));
        return;
    }
    if (event->key() == Qt::Key_Escape && controller != nullptr) {
        controller->closeMenu();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MenuWindow::keyReleaseEvent(QKeyEvent* event) {
    MenuWindowController* controller = menuWindowController.data();
    if (isModifierKey(event->key()) && controller != nullptr) {
        controller->flagsChanged(modifiersAfterKey(*event));
        event->accept();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void MenuWindow::mousePressEvent(QMouseEvent* event) {
    // While the popup is open Qt grabs the pointer, so a press on any other window (another
    // program's, the panel, the desktop, our own tray icon) arrives here, outside our rectangle.
    // The inherited handling would hide the window at once; the menu fades out instead.
    event->accept();
    MenuWindowController* controller = menuWindowController.data();
    if (!rect().contains(event->position().toPoint()) && controller != nullptr) {
        controller->closeMenu();
    }
}

void MenuWindow::closeEvent(QCloseEvent* event) {
    MenuWindowController* controller = menuWindowController.data();
    if (closingByController || controller == nullptr) {
        event->accept();
        return;
    }
    // Qt closing its popups on its own: fade out like any other close, from the controller.
    event->ignore();
    controller->closeMenu();
}

void MenuWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    MenuWindowController* controller = menuWindowController.data();
    if (!closingByController && controller != nullptr) {
        controller->windowDidHide();
    }
}

void MenuWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::ActivationChange) {
        return;
    }
    // On Wayland the menu is a window of its own, and no grab tells it of a press elsewhere:
    // losing the focus to another window is that press. On X11 the pointer grab reports it.
    if (isActiveWindow()) {
        wasActive_ = true;
    } else if (wasActive_) {
        wasActive_ = false;
        MenuWindowController* controller = menuWindowController.data();
        if (controller != nullptr && QGuiApplication::platformName() == QLatin1String("wayland")) {
            controller->closeMenu();
        }
    }
}

void MenuWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    content_->setGeometry(rect());
}

}  // namespace klosia
