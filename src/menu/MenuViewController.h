#pragma once

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

#include "menu/MenuViewCellDelegate.h"
#include "model/MenuApp.h"

class QLabel;
class QListWidget;

namespace klosia {

class MenuWindowController;

// The content of the menu window: the list the window controller hands it, filtered by the
// search text, over the menu's shaped background. Rows show each entry's icon and title; the
// check boxes, load, quit buttons, search field, select-all box and main button come with the
// full table.
class MenuViewController : public QWidget, public MenuViewCellDelegate {
    Q_OBJECT

public:
    explicit MenuViewController(QWidget* parent = nullptr);

    // The whole list, in the controller's order; set by the window controller.
    const std::vector<MenuAppPtr>& applications() const { return applications_; }
    void setApplications(std::vector<MenuAppPtr> applications);

    // The entries shown: those whose name contains the search text, both lower-cased, when the
    // search text has at least one character; otherwise every entry. Recomputed on each call.
    std::vector<MenuAppPtr> filteredApplications() const;

    // The main button's title and enabled state come with the full table; until then this is
    // the step that follows them: the rows are rebuilt, so they show the current state.
    void updateKlosiaBt();
    // Recomputes the select-all state from the shown entries with the standard policy.
    void updateSelectAllBt();
    // Redraws the menu's shape at the current size.
    void updateBackground();
    // Rebuilds the rows from filteredApplications().
    void reloadData();
    // Forgets the search text (the menu clears it when it closes).
    void clearSearch();

    // On: every shown standard entry checked; off: none; partially checked otherwise, and
    // when no standard entry is shown.
    Qt::CheckState selectAllState() const { return selectAllState_; }

    // The application's UI font at 13 pixels: rows show titles in it and the window is sized
    // by it.
    static QFont titleFont();

    // The rows as shown, for tests and accessibility checks.
    QListWidget* rowsView() const { return rows_; }
    const QImage& background() const { return background_; }

    // MenuViewCellDelegate: updates the shown entry, then passes the call on to `delegate`.
    void didCheck(const MenuAppPtr& app, bool selected) override;
    void didHover(std::optional<int> index) override;
    void didChangePolicy(const MenuAppPtr& app, MenuAppPolicy policy) override;

    // The Alt key is held while the menu is open.
    bool alternate = false;
    // Row whose quit button the pointer is over.
    std::optional<int> hoverIndex;
    // Current filter text, trimmed; none when the field is empty.
    std::optional<QString> search;
    // Receives the rows' events; the window controller sets itself. Not owned.
    MenuViewCellDelegate* delegate = nullptr;
    QPointer<MenuWindowController> menuWindowController;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void layoutChildren();

    std::vector<MenuAppPtr> applications_;
    Qt::CheckState selectAllState_ = Qt::PartiallyChecked;
    QImage background_;
    QLabel* header_;
    QListWidget* rows_;
};

}  // namespace klosia
