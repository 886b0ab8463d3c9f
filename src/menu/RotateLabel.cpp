#include "menu/RotateLabel.h"

#include <QMouseEvent>

#include "services/ApplicationDelegate.h"

namespace klosia {

RotateLabel::RotateLabel(QWidget* parent) : QLabel(parent) {
    // Its text is what screen readers read out, so it gets no accessible name of its own.
    setTextFormat(Qt::PlainText);
}

void RotateLabel::setTip(const RotateTipItem& item) {
    tip_ = item;
    setText(item.text);
    setAccessibleDescription(opensPreferences() ? tr("Press to open the preferences") : QString());
    if (opensPreferences()) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void RotateLabel::clearText() {
    clear();
    setAccessibleDescription(QString());
    unsetCursor();
}

bool RotateLabel::opensPreferences() const {
    // An emptied line keeps its tip but shows nothing a press could be meant for.
    return tip_ && tip_->action == RotateTipAction::preferences && text() == tip_->text;
}

void RotateLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint()) ||
        !opensPreferences()) {
        return;
    }
    if (ApplicationDelegate* delegate = ApplicationDelegate::current()) {
        delegate->openPreferences();
    }
}

}  // namespace klosia
