#include "preferences/AlertWindow.h"

#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "ui/Translucency.h"

namespace klosia {

AlertWindow::AlertWindow(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAttribute(Qt::WA_NoSystemBackground);
    setModal(false);
    setSizeGripEnabled(false);
}

void AlertWindow::setContentView(QWidget* content) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(content);
}

void AlertWindow::setTranslucent(bool translucent) {
    klosia::setTranslucent(*this, translucent);
}

bool AlertWindow::isTranslucent() const {
    return klosia::isTranslucent(*this);
}

void AlertWindow::reject() {
    Q_EMIT dismissRequested();
}

void AlertWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QColor fill = palette().color(QPalette::Window);
    const QColor edge = palette().color(QPalette::Mid);
    if (!isTranslucent()) {
        painter.fillRect(rect(), fill);
        painter.setPen(edge);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    QPainterPath panel;
    panel.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), kCornerRadius,
                         kCornerRadius);
    painter.fillPath(panel, fill);
    painter.setPen(QPen(edge, 1));
    painter.drawPath(panel);
}

}  // namespace klosia
