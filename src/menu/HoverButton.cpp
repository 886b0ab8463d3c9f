#include "menu/HoverButton.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>

#include "menu/HoverButtonDelegate.h"

namespace klosia {

HoverButton::HoverButton(QWidget* parent) : QAbstractButton(parent) {
    setFocusPolicy(Qt::StrongFocus);
}

void HoverButton::setImages(const QIcon& image, const QIcon& alternateImage) {
    normalImage = image;
    hoverImage = alternateImage;
    clickImage = alternateImage;
    image_ = entered_ ? hoverImage : normalImage;
    update();
}

void HoverButton::showHover(bool entered) {
    if (!isEnabled()) {
        return;
    }
    entered_ = entered;
    image_ = entered ? hoverImage : normalImage;
    alpha_ = 1.0;
    update();
}

void HoverButton::setDrawBackground(bool value) {
    drawBackground_ = value;
    update();
}

QSize HoverButton::sizeHint() const {
    QSize size = iconSize() + QSize(6, 6);
    if (!text().isEmpty()) {
        const QSize textSize = fontMetrics().size(Qt::TextShowMnemonic, text());
        size.setWidth(size.width() + textSize.width() + 12);
        size.setHeight(std::max(size.height(), textSize.height() + 8));
    }
    return size;
}

void HoverButton::enterEvent(QEnterEvent* /*event*/) {
    if (!isEnabled()) {
        return;
    }
    image_ = hoverImage;
    if (delegate != nullptr) {
        delegate->hoverButtonDidEnter();
    }
    entered_ = true;
    update();
}

void HoverButton::leaveEvent(QEvent* /*event*/) {
    if (!isEnabled()) {
        return;
    }
    image_ = normalImage;
    if (delegate != nullptr) {
        delegate->hoverButtonDidExit();
    }
    entered_ = false;
    update();
}

void HoverButton::mousePressEvent(QMouseEvent* event) {
    // Qt delivers no presses to a disabled widget; the check keeps that rule visible here.
    if (isEnabled() && event->button() == Qt::LeftButton) {
        alpha_ = 0.5;
        update();
    }
    QAbstractButton::mousePressEvent(event);
}

void HoverButton::mouseReleaseEvent(QMouseEvent* event) {
    // The action is sent by the inherited release handling, which may disable the button.
    QAbstractButton::mouseReleaseEvent(event);
    if (isEnabled() && event->button() == Qt::LeftButton) {
        alpha_ = 1.0;
        update();
    }
}

void HoverButton::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(alpha_);
    const QRectF area = rect();
    if (entered_ && drawBackground_) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(palette().color(QPalette::Base));
        painter.drawEllipse(area.adjusted(3, 3, -3, -3));
    }
    const QIcon& shown = isDown() && !clickImage.isNull() ? clickImage : image_;
    const QIcon::Mode mode = isEnabled() ? QIcon::Normal : QIcon::Disabled;
    if (text().isEmpty()) {
        shown.paint(&painter, rect(), Qt::AlignCenter, mode);
    } else {
        const QSize icon = shown.isNull() ? QSize() : iconSize();
        const int textWidth = fontMetrics().horizontalAdvance(text());
        const int gap = icon.isEmpty() ? 0 : 4;
        const int left = (width() - icon.width() - gap - textWidth) / 2;
        if (!icon.isEmpty()) {
            shown.paint(&painter, QRect(QPoint(left, (height() - icon.height()) / 2), icon),
                        Qt::AlignCenter, mode);
        }
        painter.setPen(
            palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
        painter.drawText(QRect(left + icon.width() + gap, 0, textWidth, height()),
                         Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, text());
    }
    if (hasFocus()) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect().adjusted(1, 1, -1, -1);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
}

}  // namespace klosia
