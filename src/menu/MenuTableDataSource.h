#pragma once

#include <QString>

class QWidget;

namespace klosia {

class MenuViewCell;

// What the menu's table asks of its owner: how many rows, a new row to reuse, and to fill a
// row for an index.
class MenuTableDataSource {
public:
    virtual ~MenuTableDataSource() = default;

    virtual int numberOfRows() const = 0;
    // A new, empty row inside `parent`; the table keeps and reuses it.
    virtual MenuViewCell* makeCell(QWidget* parent) = 0;
    // Fills `cell` with row `row` (0 <= row < numberOfRows()).
    virtual void configureCell(MenuViewCell& cell, int row) = 0;
    // Names row `row`'s entry across rebuilds, so the keyboard focus stays with it.
    virtual QString rowKey(int row) const = 0;
};

}  // namespace klosia
