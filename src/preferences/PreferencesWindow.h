#pragma once

#include <QWidget>

namespace klosia {

// The preferences window itself: an ordinary decorated window whose close button only hides it,
// and whose height the tabs set (animated through the contentHeight property).
class PreferencesWindow : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int contentHeight READ contentHeight WRITE setContentHeight)

public:
    static constexpr int kWidth = 480;

    explicit PreferencesWindow(QWidget* parent = nullptr);

    int contentHeight() const { return height(); }
    // A fixed size of that height: the window manager keeps the window's top-left corner, so the
    // top edge stays where it is and the bottom edge moves.
    void setContentHeight(int height);

Q_SIGNALS:
    void paletteChanged();

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
};

}  // namespace klosia
