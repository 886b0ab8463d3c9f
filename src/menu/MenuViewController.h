#pragma once

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

#include "core/Notification.h"
#include "menu/MenuFooterView.h"
#include "menu/MenuTableDataSource.h"
#include "menu/MenuViewCellDelegate.h"
#include "model/MenuApp.h"
#include "platform/Workspace.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace klosia {

class Dispatcher;
class HoverButton;
class MenuBannerView;
class MenuKeyMonitor;
class MenuTableView;
class MenuWindowController;
class Preferences;
class RotateLabel;
class SettingsMenu;

// The content of the menu window: a search field and the select-all box over the table of
// applications, and the main button under it. The window controller hands it the list; it
// shows the entries whose names match the search, keeps the check boxes, and quits the checked
// entries when the main button is pressed.
//
// The keyboard: the search field has it when the menu opens. Down goes to the rows, Up from
// the first row back to the field; typing anywhere goes to the field; Return presses the main
// button (or the settings button when it has the keyboard); Tab goes field, select-all box,
// rows, main button, settings button. Ctrl+A, C, V, X and Z act once per key press on the
// focused control (Ctrl+A in the rows checks every entry).
class MenuViewController final : public QWidget,
                                 public MenuViewCellDelegate,
                                 public MenuTableDataSource {
    Q_OBJECT

public:
    // Quits run on `dispatcher`'s queues; `preferences` names the preferred mode. Both must
    // outlive the view.
    MenuViewController(Dispatcher& dispatcher, Preferences& preferences, QWidget* parent = nullptr);
    ~MenuViewController() override;
    MenuViewController(const MenuViewController&) = delete;
    MenuViewController& operator=(const MenuViewController&) = delete;

    // The whole list, in the controller's order; set by the window controller.
    const std::vector<MenuAppPtr>& applications() const { return applications_; }
    void setApplications(std::vector<MenuAppPtr> applications);

    // The entries shown: those whose name contains the search text, both lower-cased, when the
    // search text has at least one character; otherwise every entry. Kept until the entries or
    // the search text change: the table asks for it once per row.
    const std::vector<MenuAppPtr>& filteredApplications() const;

    // The main button's title and enabled state for the shown entries (unchanged when none is
    // shown), then the rows are refilled.
    void updateKlosiaBt();
    // The same without refilling the rows, for a caller that refills them next.
    void updateKlosiaTitle();
    // The select-all box: on when every shown standard entry is checked, off when none is,
    // partially checked otherwise and when no standard entry is shown.
    void updateSelectAllBt();
    // What the select-all box shows for the rows' boxes.
    Qt::CheckState rowsCheckState() const;
    // Redraws the menu's shape at the current size.
    void updateBackground();
    // Refills the rows from filteredApplications().
    void reloadData();
    // Forgets the search text and empties the field (the menu does this when it closes).
    void clearSearch();
    // The menu closed: the next opening starts at the top, with no load shown yet.
    void resetForNextOpening();

    // Actions of the controls.
    void selectAllBtPress();
    // Checks every entry, as the select-all box does (Ctrl+A in the rows).
    void selectAll();
    void klosiaBtPress();
    // Pops up the settings menu under the settings button.
    void settingsBtPress();
    void controlTextDidChange();
    // Quits or force-quits every process of the checked entries shown; one notification when
    // all of them accepted.
    void quitSelected();

    Qt::CheckState selectAllState() const;

    // The application's UI font at 13 pixels: rows show titles in it and the window is sized
    // by it.
    static QFont titleFont();

    QLineEdit* searchField() const { return searchField_; }
    QCheckBox* selectAllBt() const { return selectAllBt_; }
    HoverButton* klosiaBt() const { return klosiaBt_; }
    MenuTableView* appsTableView() const { return appsTableView_; }
    // A sentence shown in place of the rows (the desktop lets Klosia see no windows); empty
    // shows the rows.
    void setNotice(const QString& notice);
    // The line above the list (a partial list, and how to get all of it); empty text: none.
    void setBanner(const WorkspaceBanner& banner);
    MenuBannerView* bannerView() const { return banner_; }
    QLabel* noticeLabel() const { return noticeLabel_; }
    HoverButton* settingsBt() const { return footer_->settingsBt(); }
    RotateLabel* rotateLabel() const { return footer_->rotateLabel(); }
    SettingsMenu* settingsMenu() const { return settingsMenu_; }
    const QImage& background() const { return background_; }

    // MenuViewCellDelegate: updates the shown entry, then passes the call on to `delegate`.
    void didCheck(const MenuAppPtr& app, bool selected) override;
    void didHover(std::optional<int> index) override;
    void didChangePolicy(const MenuAppPtr& app, MenuAppPolicy policy) override;

    // MenuTableDataSource
    int numberOfRows() const override;
    MenuViewCell* makeCell(QWidget* parent) override;
    void configureCell(MenuViewCell& cell, int row) override;
    QString rowKey(int row) const override;

    // Each "CPUDidChanged" sample reaches the rows in view; rows filled later show it too.
    void cpuDidChangedNotification(const Notification& notification);
    // The tip line is hidden exactly while tips are switched off.
    void preferencesDidChangedNotification(const Notification& notification);

    // The Alt key is held while the menu is open.
    bool alternate = false;
    // Row whose quit button the pointer is over.
    std::optional<int> hoverIndex;
    // Current filter text, trimmed; none when the field is empty.
    std::optional<QString> search;
    // A Ctrl shortcut was handled and its key is not released yet.
    bool keyDown = false;
    // Receives the rows' events; the window controller sets itself. Not owned.
    MenuViewCellDelegate* delegate = nullptr;
    QPointer<MenuWindowController> menuWindowController;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void layoutChildren();

    Dispatcher& dispatcher_;
    Preferences& preferences_;
    std::vector<MenuAppPtr> applications_;
    mutable std::vector<MenuAppPtr> shown_;
    mutable std::optional<std::optional<QString>> shownFor_;  // the search shown_ was made for
    std::shared_ptr<const NotificationObject> lastSample_;
    QImage background_;
    QString backgroundKey_;

    QLineEdit* searchField_;
    QCheckBox* selectAllBt_;
    MenuTableView* appsTableView_;
    QLabel* noticeLabel_;
    MenuBannerView* banner_;
    MenuFooterView* footer_;
    HoverButton* klosiaBt_;
    SettingsMenu* settingsMenu_;
    MenuKeyMonitor* keyMonitor_;
};

}  // namespace klosia
