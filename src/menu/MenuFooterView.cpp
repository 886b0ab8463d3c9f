#include "menu/MenuFooterView.h"

#include <QEvent>
#include <QLabel>

#include "menu/ColorView.h"
#include "menu/HoverButton.h"
#include "menu/MenuGeometry.h"

namespace klosia {

namespace {

constexpr int kButtonHeight = 32;
constexpr int kTipHeight = 30;
constexpr qreal kDisabledButtonAlpha = 0.45;

}  // namespace

MenuFooterView::MenuFooterView(QWidget* parent)
    : QWidget(parent),
      klosiaBackground_(new ColorView(this)),
      klosiaBt_(new HoverButton(this)),
      settingsBt_(new HoverButton(this)),
      rotateLabel_(new QLabel(this)) {
    klosiaBackground_->setRadius(6);
    klosiaBackground_->setAttribute(Qt::WA_TransparentForMouseEvents);
    klosiaBt_->setEnabled(false);
    settingsBt_->setAccessibleName(tr("Settings"));
    settingsBt_->hide();
    rotateLabel_->setForegroundRole(QPalette::PlaceholderText);
    rotateLabel_->setAlignment(Qt::AlignCenter);
    rotateLabel_->hide();
    updateColors();
}

void MenuFooterView::updateColors() {
    // A white title on the accent colour reads in light and dark themes alike.
    QPalette colors = klosiaBt_->palette();
    colors.setColor(QPalette::Active, QPalette::ButtonText, Qt::white);
    colors.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::white);
    colors.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(255, 255, 255, 190));
    klosiaBt_->setPalette(colors);
    QColor accent = palette().color(QPalette::Highlight);
    if (!klosiaBt_->isEnabled()) {
        accent.setAlphaF(kDisabledButtonAlpha);
    }
    klosiaBackground_->setColor(accent);
    klosiaBackground_->update();
}

void MenuFooterView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int mainHeight = height() - kTipHeight;
    const QRect button(0, (mainHeight - kButtonHeight) / 2, width(), kButtonHeight);
    klosiaBackground_->setGeometry(button);
    klosiaBt_->setGeometry(button);
    settingsBt_->setGeometry(button.right() - kButtonHeight, button.top(), kButtonHeight,
                             kButtonHeight);
    rotateLabel_->setGeometry(0, mainHeight, width(), kTipHeight);
}

void MenuFooterView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        updateColors();
    }
}

}  // namespace klosia
