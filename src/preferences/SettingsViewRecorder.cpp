#include "preferences/SettingsViewRecorder.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>

#include <memory>

#include "log/Vezizur.h"
#include "preferences/RecorderKeys.h"
#include "preferences/SettingsViewRecorderKey.h"
#include "settings/GlobalShortcut.h"
#include "settings/Preferences.h"

namespace klosia {

namespace {

constexpr qreal kCornerRadius = 4;
constexpr int kKeyInset = 2;
constexpr int kTextTop = 3;
constexpr int kTextHeight = 21;
constexpr int kFontPixelSize = 12;
constexpr qreal kBackgroundAlpha = 0.1;
constexpr qreal kRecordingAlpha = 0.2;

bool isPlainPress(const QKeyEvent& event) {
    return (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

}  // namespace

SettingsViewRecorder::SettingsViewRecorder(QWidget* parent)
    : QWidget(parent),
      text_(new QLabel(this)),
      values_{QStringLiteral("⌃"), QStringLiteral("⌥"), QStringLiteral("⌘"), QStringLiteral("Q")} {
    setFixedSize(kWidth, kHeight);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);

    text_->setGeometry(0, kTextTop, kWidth, kTextHeight);
    text_->setAlignment(Qt::AlignCenter);
    text_->setFrameShape(QFrame::NoFrame);
    text_->setAutoFillBackground(false);
    text_->setTextInteractionFlags(Qt::NoTextInteraction);
    text_->setTextFormat(Qt::PlainText);
    text_->setAttribute(Qt::WA_TransparentForMouseEvents);
    QFont font = this->font();
    font.setPixelSize(kFontPixelSize);
    text_->setFont(font);
    text_->hide();

    for (int i = 0; i < kKeyCount; ++i) {
        auto* cap = new SettingsViewRecorderKey(this);
        cap->move(kKeyInset + i * SettingsViewRecorderKey::kSide, kKeyInset);
        keys_.at(static_cast<std::size_t>(i)) = cap;
    }
    showKeys();
}

SettingsViewRecorderKey* SettingsViewRecorder::key(int number) const {
    if (number < 1 || number > kKeyCount) {
        return nullptr;
    }
    return keys_.at(static_cast<std::size_t>(number - 1));
}

QSize SettingsViewRecorder::sizeHint() const {
    return {kWidth, kHeight};
}

QString SettingsViewRecorder::typePrompt() {
    return tr("Type Shortcut");
}

QString SettingsViewRecorder::recordPrompt() {
    return tr("Record Shortcut");
}

void SettingsViewRecorder::setDeleted(bool deleted) {
    deleted_ = deleted;
    showPrompt(recordPrompt(), ShortcutRecorderStatus::record);
}

void SettingsViewRecorder::showTypePrompt() {
    showPrompt(typePrompt(), ShortcutRecorderStatus::type);
}

void SettingsViewRecorder::showPrompt(const QString& prompt, ShortcutRecorderStatus status) {
    status_ = status;
    text_->setText(prompt);
    text_->show();
    for (SettingsViewRecorderKey* cap : keys_) {
        cap->hide();
    }
    describe();
}

void SettingsViewRecorder::showKeys() {
    for (SettingsViewRecorderKey* cap : keys_) {
        cap->hide();
    }
    // With nothing to show the label stays up with whatever it said last.
    text_->setVisible(values_.isEmpty());
    const auto shown = std::min<qsizetype>(kKeyCount, values_.size());
    for (qsizetype i = 0; i < shown; ++i) {
        SettingsViewRecorderKey* cap = keys_.at(static_cast<std::size_t>(i));
        cap->setSymbol(values_.at(i));
        cap->show();
    }
    describe();
}

void SettingsViewRecorder::refreshDisplay() {
    if (!isEnabled()) {
        return;
    }
    if (deleted_) {
        setDeleted(true);
    } else {
        showKeys();
    }
}

void SettingsViewRecorder::setRecording(bool recording) {
    if (recording != recording_) {
        recording_ = recording;
        Q_EMIT recordingChanged(recording);
    }
}

void SettingsViewRecorder::startRecording() {
    setRecording(true);
    showTypePrompt();
    update();
}

void SettingsViewRecorder::cancelRecording() {
    if (!recording_) {
        return;
    }
    setRecording(false);
    if (deleted_) {
        setDeleted(true);
    } else {
        status_ = ShortcutRecorderStatus::set;
        showKeys();
    }
    update();
}

void SettingsViewRecorder::record(const QKeyEvent& event) {
    const std::optional<Key> key = recorder_keys::keyOf(event, unshifted_);
    const ModifierFlags modifiers = recorder_keys::modifiersOf(event);
    const bool commandLike = modifiers.contains(ModifierFlags::control) ||
                             modifiers.contains(ModifierFlags::option) ||
                             modifiers.contains(ModifierFlags::command);
    if (key == Key::escape && !commandLike) {
        cancelRecording();
        return;
    }
    if (!key || !recorder_keys::isRecordable(*key, modifiers)) {
        return;  // a modifier on its way to a combination, or a key that types: keep waiting
    }
    auto shortcut = std::make_shared<GlobalShortcut>(
        GlobalShortcut{.key = *key, .modifiers = modifiers, .enabled = true, .deleted = false});
    logger.log(QStringLiteral("record shortcut: ") + shortcut->description(), VezizurLevel::info);
    // The display stays until the owner's refresh shows the new caps.
    deleted_ = false;
    setRecording(false);
    update();
    setShortcut(Preferences::shared(), type_, std::move(shortcut));
}

bool SettingsViewRecorder::event(QEvent* event) {
    switch (event->type()) {
        case QEvent::ShortcutOverride:
            // While waiting for a shortcut every combination is ours, not the window's.
            if (recording_ && isEnabled()) {
                event->accept();
                return true;
            }
            break;
        case QEvent::KeyPress:
            // While recording, Tab would move the focus before keyPressEvent() saw it; a disabled
            // widget would not see the key at all. Both go to keyPressEvent() directly.
            if (recording_ || !isEnabled()) {
                keyPressEvent(static_cast<QKeyEvent*>(event));
                return true;
            }
            break;
        default:
            break;
    }
    return QWidget::event(event);
}

void SettingsViewRecorder::keyPressEvent(QKeyEvent* event) {
    if (!isEnabled()) {
        event->accept();  // a disabled recorder swallows keys without doing anything
        return;
    }
    if (recording_) {
        event->accept();
        record(*event);
        return;
    }
    const bool asks = event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
                      event->key() == Qt::Key_Enter;
    if (asks && isPlainPress(*event) && !event->isAutoRepeat()) {
        event->accept();
        startRecording();
        return;
    }
    // Not asked for a shortcut: the key goes on to the window (Escape, Return, arrows).
    QWidget::keyPressEvent(event);
}

void SettingsViewRecorder::mouseReleaseEvent(QMouseEvent* event) {
    if (!isEnabled() || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    event->accept();
    setFocus(Qt::MouseFocusReason);
    startRecording();
}

void SettingsViewRecorder::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    refreshDisplay();
}

void SettingsViewRecorder::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    refreshDisplay();
}

void SettingsViewRecorder::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    cancelRecording();
    update();
}

void SettingsViewRecorder::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        const qreal opacity = isEnabled() ? 1.0 : kDisabledKeyOpacity;
        for (SettingsViewRecorderKey* cap : keys_) {
            cap->setOpacity(opacity);
        }
        if (!isEnabled()) {
            cancelRecording();
        }
    }
}

void SettingsViewRecorder::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    shape.addRoundedRect(bounds, kCornerRadius, kCornerRadius);
    QColor fill = palette().color(QPalette::WindowText);
    fill.setAlphaF(kBackgroundAlpha);
    painter.fillPath(shape, fill);
    if (recording_) {
        QColor waiting = palette().color(QPalette::Highlight);
        waiting.setAlphaF(kRecordingAlpha);
        painter.fillPath(shape, waiting);
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        painter.drawPath(shape);
    }
}

void SettingsViewRecorder::describe() {
    if (!text_->isHidden() || values_.isEmpty()) {
        setAccessibleDescription(text_->text());
    } else {
        setAccessibleDescription(values_.join(QString()));
    }
}

}  // namespace klosia
