#include "preferences/PreferencesStepper.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace klosia {

namespace {

constexpr int kButtonWidth = 17;
constexpr int kButtonHeight = 12;

QToolButton* arrowButton(Qt::ArrowType arrow, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedSize(kButtonWidth, kButtonHeight);
    return button;
}

}  // namespace

PreferencesStepper::PreferencesStepper(QWidget* parent)
    : QWidget(parent),
      up_(arrowButton(Qt::UpArrow, this)),
      down_(arrowButton(Qt::DownArrow, this)) {
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 0, 1, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    up_->setAccessibleName(tr("Increase"));
    down_->setAccessibleName(tr("Decrease"));
    connect(up_, &QToolButton::clicked, this, [this] { stepBy(1); });
    connect(down_, &QToolButton::clicked, this, [this] { stepBy(-1); });
    refresh();
}

void PreferencesStepper::setValue(int value) {
    value_ = std::clamp(value, minimum_, maximum_);
    refresh();
}

void PreferencesStepper::setRange(int minimum, int maximum) {
    minimum_ = minimum;
    maximum_ = std::max(minimum, maximum);
    setValue(value_);
}

void PreferencesStepper::stepBy(int steps) {
    const int next = std::clamp(value_ + steps, minimum_, maximum_);
    if (next == value_) {
        return;
    }
    value_ = next;
    refresh();
    Q_EMIT stepped(value_);
}

void PreferencesStepper::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Up) {
        stepBy(1);
    } else if (event->key() == Qt::Key_Down) {
        stepBy(-1);
    } else {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void PreferencesStepper::paintEvent(QPaintEvent* /*event*/) {
    if (!hasFocus()) {
        return;
    }
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.backgroundColor = palette().color(QPalette::Window);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void PreferencesStepper::refresh() {
    up_->setEnabled(value_ < maximum_);
    down_->setEnabled(value_ > minimum_);
    setAccessibleDescription(QString::number(value_));
}

}  // namespace klosia
