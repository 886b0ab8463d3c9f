#include "menu/MenuTableView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>

#include <algorithm>

#include "menu/MenuGeometry.h"
#include "menu/MenuTableDataSource.h"
#include "menu/MenuViewCell.h"

namespace klosia {

namespace {

constexpr int kRow = menugeometry::kRowHeight;

}  // namespace

MenuTableView::MenuTableView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Holds the focus for a row scrolled out of view; Tab reaches the rows through it.
    setFocusPolicy(Qt::TabFocus);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);
    verticalScrollBar()->setSingleStep(kRow);
}

void MenuTableView::setDataSource(MenuTableDataSource* source) {
    source_ = source;
    reloadData();
}

int MenuTableView::scrollOffset() const {
    return verticalScrollBar()->value();
}

bool MenuTableView::focusIsInside() const {
    const QWidget* focus = QApplication::focusWidget();
    return focus != nullptr && (focus == this || isAncestorOf(focus));
}

void MenuTableView::reloadData() {
    const bool hadFocus = focusIsInside();
    rows_ = source_ != nullptr ? std::max(0, source_->numberOfRows()) : 0;
    // The keyboard stays with its entry when the entries around it come and go.
    if (!currentKey_.isEmpty()) {
        for (int row = 0; row < rows_; ++row) {
            if (source_->rowKey(row) == currentKey_) {
                currentRow_ = row;
                break;
            }
        }
    }
    currentRow_ = std::clamp(currentRow_, 0, std::max(0, rows_ - 1));
    currentKey_ = rows_ > 0 ? source_->rowKey(currentRow_) : QString();
    updateRange();
    layoutCells(true);
    if (hadFocus) {
        if (MenuViewCell* cell = cellForRow(currentRow_)) {
            cell->setFocus(Qt::OtherFocusReason);
        } else {
            setFocus(Qt::OtherFocusReason);
        }
    }
}

void MenuTableView::updateRange() {
    const int height = viewport()->height();
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(std::max(kRow, height));
    bar->setRange(0, std::max(0, rows_ * kRow - height));
}

void MenuTableView::layoutCells(bool refill) {
    const int height = viewport()->height();
    const int width = viewport()->width();
    const std::size_t needed = static_cast<std::size_t>(std::max(0, height) / kRow + 2);
    if (pool_.size() < needed && source_ != nullptr) {
        while (pool_.size() < needed) {
            MenuViewCell* cell = source_->makeCell(viewport());
            connect(cell, &MenuViewCell::focused, this, &MenuTableView::cellFocused);
            pool_.push_back(cell);
        }
        shownRow_.assign(pool_.size(), -1);  // every row moves to another widget
        refill = true;
    }
    const int count = static_cast<int>(pool_.size());
    if (count == 0) {
        return;
    }
    const int offset = scrollOffset();
    const int first = offset / kRow;
    const int last = std::min(rows_ - 1, (offset + std::max(0, height - 1)) / kRow);
    for (int slot = 0; slot < count; ++slot) {
        MenuViewCell* cell = pool_[static_cast<std::size_t>(slot)];
        // The one row in view, if any, that lives in this widget.
        const int row = first + ((slot - first % count) + count) % count;
        int& shown = shownRow_[static_cast<std::size_t>(slot)];
        if (row > last) {
            if (cell->hasFocus()) {
                setFocus(Qt::OtherFocusReason);  // keep the keyboard in the table
            }
            cell->hide();
            shown = -1;
            continue;
        }
        cell->setGeometry(0, row * kRow - offset, width, kRow);
        if (refill || shown != row) {
            if (cell->hasFocus() && shown != row) {
                setFocus(Qt::OtherFocusReason);
            }
            source_->configureCell(*cell, row);
            shown = row;
        }
        cell->show();
    }
    // The current row came back into view while the table itself held the focus.
    if (hasFocus()) {
        if (MenuViewCell* cell = cellForRow(currentRow_)) {
            cell->setFocus(Qt::OtherFocusReason);
        }
    }
}

MenuViewCell* MenuTableView::cellForRow(int row) const {
    if (row < 0 || row >= rows_) {
        return nullptr;
    }
    for (std::size_t slot = 0; slot < pool_.size(); ++slot) {
        if (shownRow_[slot] == row) {
            return pool_[slot];
        }
    }
    return nullptr;
}

std::vector<MenuViewCell*> MenuTableView::visibleCells() const {
    std::vector<std::pair<int, MenuViewCell*>> shown;
    for (std::size_t slot = 0; slot < pool_.size(); ++slot) {
        if (shownRow_[slot] >= 0) {
            shown.emplace_back(shownRow_[slot], pool_[slot]);
        }
    }
    std::sort(shown.begin(), shown.end());
    std::vector<MenuViewCell*> cells;
    cells.reserve(shown.size());
    for (const auto& [row, cell] : shown) {
        cells.push_back(cell);
    }
    return cells;
}

void MenuTableView::scrollToRow(int row) {
    if (row < 0 || row >= rows_) {
        return;
    }
    const int top = row * kRow;
    const int height = viewport()->height();
    QScrollBar* bar = verticalScrollBar();
    if (top < bar->value()) {
        bar->setValue(top);
    } else if (top + kRow > bar->value() + height) {
        bar->setValue(top + kRow - height);
    }
}

void MenuTableView::focusRow(int row) {
    if (rows_ == 0) {
        return;
    }
    currentRow_ = std::clamp(row, 0, rows_ - 1);
    currentKey_ = source_->rowKey(currentRow_);
    scrollToRow(currentRow_);
    if (MenuViewCell* cell = cellForRow(currentRow_)) {
        cell->setFocus(Qt::OtherFocusReason);
    }
}

void MenuTableView::resetPosition() {
    currentRow_ = 0;
    currentKey_.clear();
    verticalScrollBar()->setValue(0);
}

void MenuTableView::cellFocused(int row) {
    if (row >= 0 && row < rows_ && source_ != nullptr) {
        currentRow_ = row;
        currentKey_ = source_->rowKey(row);
        scrollToRow(row);
    }
}

void MenuTableView::keyPressEvent(QKeyEvent* event) {
    if ((event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0 ||
        rows_ == 0) {
        event->ignore();
        return;
    }
    const int page = std::max(1, viewport()->height() / kRow - 1);
    const int row = currentRow_;
    switch (event->key()) {
        case Qt::Key_Up:
            if (row == 0) {
                event->ignore();  // above the first row: the search field
                return;
            }
            focusRow(row - 1);
            break;
        case Qt::Key_Down:
            focusRow(hasFocus() ? row : row + 1);
            break;
        case Qt::Key_PageUp:
            focusRow(row - page);
            break;
        case Qt::Key_PageDown:
            focusRow(row + page);
            break;
        case Qt::Key_Home:
            focusRow(0);
            break;
        case Qt::Key_End:
            focusRow(rows_ - 1);
            break;
        default:
            event->ignore();
            return;
    }
    event->accept();
}

void MenuTableView::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    // Entered by Tab or Backtab: straight on to the current row.
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason) {
        focusRow(currentRow_);
    }
}

void MenuTableView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateRange();
    layoutCells(false);
}

void MenuTableView::scrollContentsBy(int /*dx*/, int /*dy*/) {
    layoutCells(false);
}

}  // namespace klosia
