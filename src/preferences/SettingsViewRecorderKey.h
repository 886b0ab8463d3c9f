#pragma once

#include <QWidget>

class QGraphicsOpacityEffect;
class QLabel;

namespace klosia {

// One key cap of the shortcut recorder: the "recorder-key" artwork with one symbol on it.
class SettingsViewRecorderKey : public QWidget {
    Q_OBJECT

public:
    static constexpr int kSide = 21;
    // The symbol sits this far below the cap's centre line, where the artwork's face is.
    static constexpr int kTextDrop = 2;
    static constexpr int kFontPixelSize = 12;

    explicit SettingsViewRecorderKey(QWidget* parent = nullptr);

    QString symbol() const;
    void setSymbol(const QString& symbol);

    // 1.0 for a recorder that takes keys, 0.3 for one that does not.
    qreal opacity() const;
    void setOpacity(qreal opacity);

    QLabel* imageView() const { return imageView_; }
    QLabel* text() const { return text_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    // Tints the artwork and the symbol with the palette's text colour. The cap keeps the colour of
    // an active control when the recorder is disabled: the 30 % opacity alone says so.
    void applyPalette();

    QLabel* imageView_;
    QLabel* text_;
    QGraphicsOpacityEffect* opacity_;
    bool applyingPalette_ = false;
};

}  // namespace klosia
