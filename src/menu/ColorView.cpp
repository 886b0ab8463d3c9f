#include "menu/ColorView.h"

#include <QPainter>

namespace klosia {

ColorView::ColorView(QWidget* parent) : QWidget(parent) {}

QColor ColorView::color() const {
    return color_.isValid() ? color_ : palette().color(QPalette::Base);
}

void ColorView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color());
    // The whole view, not just the part being repainted: rounding a partial repaint's rectangle
    // would put corners in the middle of the view.
    painter.drawRoundedRect(QRectF(rect()), radius_, radius_);
}

}  // namespace klosia
