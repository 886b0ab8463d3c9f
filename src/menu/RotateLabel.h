#pragma once

#include <QLabel>

#include <optional>

#include "menu/RotateTipItem.h"

namespace klosia {

// The menu's tip line. A press on a tip that points to a setting opens the preferences window
// and leaves the menu alone (Qt then closes the menu, a popup that holds the keyboard, as the
// window appears, so that the window can take the keys). Screen readers read the tip as the
// label's text, and such a tip also says where a press leads.
class RotateLabel final : public QLabel {
    Q_OBJECT

public:
    explicit RotateLabel(QWidget* parent = nullptr);

    // The tip last drawn; none before the first draw.
    const std::optional<RotateTipItem>& tip() const { return tip_; }
    // Shows `item`: its text, and the pointing hand where a press does something.
    void setTip(const RotateTipItem& item);
    // Empties the line (tips switched off); the tip is kept.
    void clearText();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The line shows the tip, and the tip opens the preferences.
    bool opensPreferences() const;

    std::optional<RotateTipItem> tip_;
};

}  // namespace klosia
