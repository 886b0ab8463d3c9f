#pragma once

#include <QPointer>
#include <QWidget>

class QKeyEvent;

namespace klosia {

class Dispatcher;
class MenuViewController;
class MenuWindowController;
class Preferences;

// The menu's borderless window: a Qt popup, so the window manager neither decorates, lists nor
// places it, it holds the keyboard while open, and a press anywhere outside the program reaches
// it first (see mousePressEvent). Its content view fills it.
class MenuWindow final : public QWidget {
    Q_OBJECT

public:
    // The content view quits through `dispatcher` in the mode `preferences` names; both must
    // outlive the window.
    MenuWindow(Dispatcher& dispatcher, Preferences& preferences, QWidget* parent = nullptr);

    MenuViewController* contentView() const { return content_; }

    // Translucent only over a compositing manager; otherwise opaque and cut to the menu's shape.
    // Takes effect the next time the window is shown (the native window is made again when the
    // choice changed while hidden).
    void setTranslucent(bool translucent);
    bool isTranslucent() const;

    // Key presses with Ctrl held (Ctrl stands for Command): Ctrl+B alone toggles background
    // applications and posts "MenuDidChanged", Ctrl+Q alone quits the program, as the settings
    // menu shows; a held key acts once. Every one of them is consumed: answers true.
    bool performKeyEquivalent(const QKeyEvent& event);

    // Shift, Ctrl, Alt, Super and the lock keys: their presses and releases only change the
    // modifier state the menu follows.
    static bool isModifierKey(int key);

    // The owner: told of presses outside, Escape, the Alt key and of hiding. Not owned.
    QPointer<MenuWindowController> menuWindowController;

    // Set by the controller while it hides the window itself at the end of its fade.
    bool closingByController = false;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    MenuViewController* content_;
    bool wasActive_ = false;
};

}  // namespace klosia
