#pragma once

#include <QStringList>
#include <QWidget>

#include <array>
#include <utility>

#include "preferences/RecorderKeys.h"
#include "preferences/ShortcutRecorderStatus.h"
#include "preferences/ShortcutRecorderType.h"

class QLabel;

namespace klosia {

class SettingsViewRecorderKey;

// The control that records one of the three global shortcuts. It shows the shortcut as up to five
// key caps, or a prompt; a recorded key goes straight into the preferences, and the owner learns
// of it through "PreferencesDidChanged" like everybody else.
//
// On X11 every key reaches the focused control, and a global grab of a plain key takes that key
// from every application on the desktop. So the recorder records only after a click (or Space or
// Return while it has the focus) asked for a shortcut; a key that types something is recorded
// only together with Ctrl, Alt or Super; and Escape on its own cancels. While it waits for a
// shortcut it keeps every key to itself, Tab and the window's shortcuts included.
//
// The widget's enabled state is the recorder's: a disabled recorder shows its caps at 30 %
// opacity and ignores clicks, the pointer and keys.
class SettingsViewRecorder : public QWidget {
    Q_OBJECT

public:
    static constexpr int kWidth = 109;
    static constexpr int kHeight = 25;
    static constexpr int kKeyCount = 5;
    static constexpr qreal kDisabledKeyOpacity = 0.3;

    explicit SettingsViewRecorder(QWidget* parent = nullptr);

    ShortcutRecorderType type() const { return type_; }
    void setType(ShortcutRecorderType type) { type_ = type; }

    // Shows "Record Shortcut" instead of the caps (the owner only ever assigns true).
    bool deleted() const { return deleted_; }
    void setDeleted(bool deleted);

    // The key caps to show, one string each; showKeys() puts them up.
    QStringList values() const { return values_; }
    void setValues(const QStringList& values) { values_ = values; }

    // How the keyboard maps a key to what it types without modifiers, for Shift with a digit or
    // punctuation key; without it such a combination cannot be recorded.
    void setUnshiftedKeysym(recorder_keys::UnshiftedKeysym unshifted) {
        unshifted_ = std::move(unshifted);
    }

    ShortcutRecorderStatus shortcutRecorderStatus() const { return status_; }
    // Whether the next key press becomes the shortcut.
    bool isRecording() const { return recording_; }

    void showTypePrompt();
    void showKeys();
    // What the pointer's entering or leaving shows: the record prompt when deleted, else the caps.
    void refreshDisplay();

    QLabel* text() const { return text_; }
    // key(1) … key(5), left to right.
    SettingsViewRecorderKey* key(int number) const;

    QSize sizeHint() const override;

    static QString typePrompt();
    static QString recordPrompt();

Q_SIGNALS:
    // The recorder started or stopped waiting for a shortcut. The program's own global shortcuts
    // must let go of the keyboard meanwhile, or the combination the user presses would go to them
    // instead of here.
    void recordingChanged(bool recording);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void startRecording();
    // Back to what the recorder showed before it was asked for a shortcut.
    void cancelRecording();
    void setRecording(bool recording);
    void record(const QKeyEvent& event);
    void showPrompt(const QString& prompt, ShortcutRecorderStatus status);
    void describe();

    bool deleted_ = false;
    bool recording_ = false;
    ShortcutRecorderStatus status_ = ShortcutRecorderStatus::set;
    recorder_keys::UnshiftedKeysym unshifted_;
    QLabel* text_;
    std::array<SettingsViewRecorderKey*, kKeyCount> keys_{};
    QStringList values_;
    ShortcutRecorderType type_ = ShortcutRecorderType::activate;
};

}  // namespace klosia
