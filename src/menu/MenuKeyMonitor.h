#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

namespace klosia {

class MenuViewController;

// The menu's keyboard.
//
// The modifier keys: every press and release of Shift, Ctrl, Alt or Super reaches the window
// controller, which follows Alt (the alternate quit mode).
//
// Its own Ctrl shortcuts (Ctrl stands where Command stands on other systems): Ctrl+A
// selects all (the search text, or every entry when the rows have the keyboard), Ctrl+C, V, X
// and Z copy, paste, cut and undo in the search field. Each acts once per key press: held keys
// and auto-repeat do nothing more until the key is released. Other Ctrl keys pass on to the
// window (Ctrl+B, Ctrl+Q), which consumes them all.
//
// It watches the menu's focusable controls rather than the whole application, so the
// application's own filter (the global shortcuts, recognised while the menu holds the
// keyboard) still sees every key first.
//
// Moving between the parts: Down (or Page Down) from the search field or the buttons goes to
// the rows, Up from the first row back to the field; typing anywhere goes to the field; Return
// presses the main button, or the settings button when that has the keyboard. Tab goes field,
// select-all box, rows, main button, settings button, and round.
class MenuKeyMonitor final : public QObject {
    Q_OBJECT

public:
    explicit MenuKeyMonitor(MenuViewController& view);

    void watch(QWidget* widget);

    // A key that the focused control left alone; true when it was used.
    bool navigate(QKeyEvent& event);
    // Tab (next) or Backtab: moves the focus to the next part; false when none can take it.
    bool focusNext(bool next);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool keyPress(QObject* watched, const QKeyEvent& event);
    void perform(QObject* target, int key);

    MenuViewController& view_;
};

}  // namespace klosia
