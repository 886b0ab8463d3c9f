#include "menu/MenuFooterView.h"

#include <QEvent>
#include <QGuiApplication>

#include "menu/ColorView.h"
#include "menu/HoverButton.h"
#include "menu/MenuGlyph.h"
#include "menu/RotateLabel.h"

namespace klosia {

namespace {

constexpr int kButtonHeight = 32;
constexpr int kTipHeight = 30;
constexpr int kSettingsImageSize = 20;
constexpr qreal kDisabledButtonAlpha = 0.45;

}  // namespace

MenuFooterView::MenuFooterView(QWidget* parent)
    : QWidget(parent),
      klosiaBackground_(new ColorView(this)),
      klosiaBt_(new HoverButton(this)),
      settingsBt_(new HoverButton(this)),
      rotateLabel_(new RotateLabel(this)) {
    klosiaBackground_->setRadius(6);
    klosiaBackground_->setAttribute(Qt::WA_TransparentForMouseEvents);
    klosiaBt_->setEnabled(false);
    settingsBt_->setAccessibleName(tr("Settings"));
    settingsBt_->setToolTip(tr("Settings"));
    settingsBt_->setIconSize(QSize(kSettingsImageSize, kSettingsImageSize));
    settingsBt_->setDrawBackground(true);
    QFont tipFont = QGuiApplication::font();
    tipFont.setPixelSize(13);
    rotateLabel_->setFont(tipFont);
    rotateLabel_->setForegroundRole(QPalette::PlaceholderText);
    rotateLabel_->setAlignment(Qt::AlignCenter);
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

    // The gear in the text colour, in the accent under the pointer, like the rows' buttons.
    const QString gear = QStringLiteral("settings");
    const QSize size = settingsBt_->iconSize();
    const qreal ratio = devicePixelRatioF();
    settingsBt_->setImages(
        MenuGlyph::icon(gear, size, palette().color(QPalette::WindowText), ratio),
        MenuGlyph::icon(gear, size, palette().color(QPalette::Highlight), ratio));
}

void MenuFooterView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int mainHeight = height() - kTipHeight;
    const int top = (mainHeight - kButtonHeight) / 2;
    const QRect button(0, top, std::max(0, width() - kSettingsSize - kSettingsGap), kButtonHeight);
    klosiaBackground_->setGeometry(button);
    klosiaBt_->setGeometry(button);
    settingsBt_->setGeometry(width() - kSettingsSize, top + (kButtonHeight - kSettingsSize) / 2,
                             kSettingsSize, kSettingsSize);
    rotateLabel_->setGeometry(0, mainHeight, width(), kTipHeight);
}

void MenuFooterView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        updateColors();
    }
}

}  // namespace klosia
