#include "menu/MenuKeyMonitor.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

#include <vector>

#include "menu/HoverButton.h"
#include "menu/MenuTableView.h"
#include "menu/MenuViewController.h"
#include "menu/MenuWindow.h"
#include "menu/MenuWindowController.h"
#include "ui/KeyModifiers.h"

namespace klosia {

namespace {

constexpr Qt::KeyboardModifiers kShortcutModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

bool isEditKey(int key) {
    return key == Qt::Key_A || key == Qt::Key_C || key == Qt::Key_V || key == Qt::Key_X ||
           key == Qt::Key_Z;
}

}  // namespace

MenuKeyMonitor::MenuKeyMonitor(MenuViewController& view) : QObject(&view), view_(view) {}

void MenuKeyMonitor::watch(QWidget* widget) {
    widget->installEventFilter(this);
}

bool MenuKeyMonitor::eventFilter(QObject* watched, QEvent* event) {
    const bool press = event->type() == QEvent::KeyPress;
    if ((press || event->type() == QEvent::KeyRelease) &&
        MenuWindow::isModifierKey(static_cast<QKeyEvent*>(event)->key())) {
        // Followed here: a text field keeps the release of a modifier to itself, so the
        // window would never learn that Alt went up.
        if (MenuWindowController* owner = view_.menuWindowController.data()) {
            owner->flagsChanged(modifiersAfterKey(*static_cast<QKeyEvent*>(event)));
        }
        return true;
    }
    if (event->type() == QEvent::KeyRelease) {
        if (!static_cast<QKeyEvent*>(event)->isAutoRepeat()) {
            view_.keyDown = false;
        }
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        return keyPress(watched, *static_cast<QKeyEvent*>(event));
    }
    return false;
}

bool MenuKeyMonitor::keyPress(QObject* watched, const QKeyEvent& event) {
    if ((event.modifiers() & kShortcutModifiers) != Qt::ControlModifier) {
        return false;
    }
    // Ours never reach the control's own handling, which would act on every repeat.
    const bool ours = isEditKey(event.key());
    const MenuWindowController* owner = view_.menuWindowController.data();
    if (view_.keyDown || owner == nullptr || !owner->isOpen()) {
        return ours;
    }
    view_.keyDown = true;
    if (ours) {
        perform(watched, event.key());
    }
    return ours;
}

void MenuKeyMonitor::perform(QObject* target, int key) {
    if (auto* field = qobject_cast<QLineEdit*>(target)) {
        switch (key) {
            case Qt::Key_A:
                field->selectAll();
                break;
            case Qt::Key_C:
                field->copy();
                break;
            case Qt::Key_V:
                field->paste();
                break;
            case Qt::Key_X:
                field->cut();
                break;
            default:
                field->undo();
                break;
        }
        return;
    }
    // In the rows a check box is what is selected: Ctrl+A checks every entry.
    if (key == Qt::Key_A) {
        view_.selectAll();
    }
}

bool MenuKeyMonitor::navigate(QKeyEvent& event) {
    const Qt::KeyboardModifiers held =
        event.modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool returnKey = event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
    if (held == Qt::AltModifier && returnKey) {
        // Alt+Return is the main button pressed with Alt held: the other mode, as its title
        // says while Alt is down. The title follows the key's own word on Alt, should the
        // press of Alt itself have gone unseen.
        if (MenuWindowController* owner = view_.menuWindowController.data()) {
            owner->flagsChanged(event.modifiers());
        }
        if (view_.klosiaBt()->isEnabled()) {
            view_.klosiaBtPress();
        }
        return true;
    }
    if (held != 0) {
        return false;
    }
    MenuTableView* rows = view_.appsTableView();
    QLineEdit* field = view_.searchField();
    const QWidget* focus = QApplication::focusWidget();
    const bool inRows = focus != nullptr && (focus == rows || rows->isAncestorOf(focus));
    switch (event.key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (focus == view_.settingsBt()) {
                view_.settingsBtPress();
            } else if (view_.klosiaBt()->isEnabled()) {
                view_.klosiaBtPress();
            }
            return true;
        case Qt::Key_Down:
        case Qt::Key_PageDown:
            if (inRows) {
                return false;
            }
            rows->focusRow(rows->currentRow());
            return true;
        case Qt::Key_Up:
            if (!inRows) {
                return false;
            }
            field->setFocus(Qt::OtherFocusReason);  // above the first row
            return true;
        default:
            break;
    }
    const QString text = event.text();
    const bool typing =
        (!text.isEmpty() && text.front().isPrint()) || event.key() == Qt::Key_Backspace;
    if (!typing || focus == field) {
        return false;
    }
    field->setFocus(Qt::OtherFocusReason);
    QApplication::sendEvent(field, &event);
    return true;
}

bool MenuKeyMonitor::focusNext(bool next) {
    MenuTableView* rows = view_.appsTableView();
    const std::vector<QWidget*> order{view_.searchField(), view_.selectAllBt(), rows,
                                      view_.klosiaBt(), view_.settingsBt()};
    const QWidget* focus = QApplication::focusWidget();
    const int count = static_cast<int>(order.size());
    int at = next ? -1 : count;
    for (int i = 0; i < count; ++i) {
        const QWidget* part = order[static_cast<std::size_t>(i)];
        if (focus != nullptr && (part == focus || part->isAncestorOf(focus))) {
            at = i;
        }
    }
    for (int step = 1; step <= count; ++step) {
        const int i = ((at + (next ? step : -step)) % count + count) % count;
        QWidget* candidate = order[static_cast<std::size_t>(i)];
        if (!candidate->isVisible() || !candidate->isEnabled()) {
            continue;
        }
        if (candidate == rows) {
            if (rows->rowCount() == 0) {
                continue;
            }
            rows->focusRow(rows->currentRow());
        } else {
            candidate->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
        }
        return true;
    }
    return false;
}

}  // namespace klosia
