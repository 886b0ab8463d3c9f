#include "preferences/SettingsViewRecorderKey.h"

#include <QEvent>
#include <QGraphicsOpacityEffect>
#include <QLabel>

#include "resources/Resources.h"

namespace klosia {

SettingsViewRecorderKey::SettingsViewRecorderKey(QWidget* parent)
    : QWidget(parent),
      imageView_(new QLabel(this)),
      text_(new QLabel(this)),
      opacity_(new QGraphicsOpacityEffect(this)) {
    setFixedSize(kSide, kSide);
    imageView_->setGeometry(0, 0, kSide, kSide);
    imageView_->setAlignment(Qt::AlignCenter);

    text_->setGeometry(0, kTextDrop, kSide, kSide);
    text_->setAlignment(Qt::AlignCenter);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setAutoFillBackground(false);
    text_->setTextInteractionFlags(Qt::NoTextInteraction);
    text_->setTextFormat(Qt::PlainText);
    QFont font = this->font();
    font.setPixelSize(kFontPixelSize);
    text_->setFont(font);

    opacity_->setOpacity(1.0);
    setGraphicsEffect(opacity_);
    // The recorder speaks for its caps.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    applyPalette();
}

QString SettingsViewRecorderKey::symbol() const {
    return text_->text();
}

void SettingsViewRecorderKey::setSymbol(const QString& symbol) {
    text_->setText(symbol);
}

qreal SettingsViewRecorderKey::opacity() const {
    return opacity_->opacity();
}

void SettingsViewRecorderKey::setOpacity(qreal opacity) {
    opacity_->setOpacity(opacity);
}

void SettingsViewRecorderKey::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (!applyingPalette_ &&
        (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange)) {
        applyPalette();
    }
}

void SettingsViewRecorderKey::applyPalette() {
    applyingPalette_ = true;
    const QColor ink = palette().color(QPalette::Active, QPalette::WindowText);
    imageView_->setPixmap(resources::pixmap(QStringLiteral("recorder-key"), QSize(kSide, kSide),
                                            devicePixelRatioF(), ink));
    QPalette textPalette = text_->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        textPalette.setColor(group, QPalette::WindowText, ink);
    }
    text_->setPalette(textPalette);
    applyingPalette_ = false;
}

}  // namespace klosia
