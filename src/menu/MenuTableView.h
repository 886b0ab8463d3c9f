#pragma once

#include <QAbstractScrollArea>
#include <QString>

#include <functional>
#include <vector>

namespace klosia {

class MenuTableDataSource;
class MenuViewCell;

// The menu's list of applications: 27-point rows that scroll, made of real row widgets (each
// control has its own accessible name, hover and click handling) of which only as many exist
// as fit the view, plus one. Row r always lives in the same widget while it stays in view
// (widget r mod N), so scrolling refills only the rows that come into view, and a rebuild
// refills the rows in view without moving the scroll position, the widget under the pointer
// or the keyboard focus, which follows its entry.
//
// Keys: Up and Down move the focus between rows (Up on the first row is left to the menu),
// Page Up and Page Down by a page, Home and End to the ends. Tab into the table focuses the
// current row.
class MenuTableView final : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit MenuTableView(QWidget* parent = nullptr);

    // Not owned; must outlive the table or be reset first.
    void setDataSource(MenuTableDataSource* source);

    // Asks the data source again and refills the rows in view.
    void reloadData();
    int rowCount() const { return rows_; }

    // The row the keyboard is on (kept while the focus is elsewhere); -1 without rows.
    int currentRow() const { return rows_ == 0 ? -1 : currentRow_; }
    // Moves the keyboard focus to row `row` (clamped), scrolling it into view.
    void focusRow(int row);
    // Back to the first row, scrolled to the top (the menu does this as it closes).
    void resetPosition();

    // The row widget that shows `row` now, or null when the row is out of view.
    MenuViewCell* cellForRow(int row) const;
    // Every row widget in view, top to bottom.
    std::vector<MenuViewCell*> visibleCells() const;
    // How many row widgets exist.
    int cellCount() const { return static_cast<int>(pool_.size()); }
    int scrollOffset() const;
    void scrollToRow(int row);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void cellFocused(int row);
    void updateRange();
    void layoutCells(bool refill);
    bool focusIsInside() const;

    MenuTableDataSource* source_ = nullptr;
    std::vector<MenuViewCell*> pool_;
    // The row each pool widget shows, -1 for none.
    std::vector<int> shownRow_;
    int rows_ = 0;
    int currentRow_ = 0;
    QString currentKey_;
};

}  // namespace klosia
