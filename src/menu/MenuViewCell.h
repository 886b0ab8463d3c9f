#pragma once

#include <QIcon>
#include <QString>
#include <QWidget>

#include <atomic>
#include <memory>
#include <optional>

#include "core/Notification.h"
#include "menu/HoverButtonDelegate.h"
#include "model/MenuApp.h"

class QCheckBox;
class QLabel;
class QMenu;

namespace klosia {

class CPUSample;
class Dispatcher;
class HoverButton;
class MenuViewCellDelegate;
class Preferences;

// One row of the menu's table: check box, icon, name with the process count, processor load,
// its own quit button, and while the pointer is over it a more button with the entry's quit
// policy. Rows are reused: configure() overwrites what the previous entry left. The row itself
// takes the keyboard focus (Space toggles its box, Delete quits it, Alt+Delete in the other mode,
// the menu key opens its options); its controls take clicks only, so a click never moves the focus
// away from the row.
class MenuViewCell final : public QWidget, public HoverButtonDelegate {
    Q_OBJECT

public:
    // Sizes of the row's parts, in points.
    static constexpr int kIconSize = 18;
    static constexpr int kQuitSize = 22;
    static constexpr int kMoreSize = 18;
    static constexpr int kCpuWidth = 46;
    // How long after its options menu closed a row still keeps its more button hidden.
    static constexpr double kOptionsMenuGrace = 0.25;

    // Both must outlive the row.
    MenuViewCell(Dispatcher& dispatcher, Preferences& preferences, QWidget* parent = nullptr);
    ~MenuViewCell() override;
    MenuViewCell(const MenuViewCell&) = delete;
    MenuViewCell& operator=(const MenuViewCell&) = delete;

    // Shows `entry` as row `row`; `alternate` is Alt held; `hover` keeps the quit button's
    // hover look (the pointer is over it).
    void configure(const MenuAppPtr& entry, bool alternateMode, bool hover, int row);

    // Actions of the row's controls.
    void checkBtPress();
    // Reports a change of the box that came without a click.
    void followCheckBox();
    // `force`: the mode a key chose (Delete, Alt+Delete); else the button's, as its title says.
    void quitBtPress(std::optional<bool> force = std::nullopt);
    void optionsBtPress();
    void alwaysQuitPress();
    void neverQuitPress();
    void menuDidClose();

    // A "CPUDidChanged" notification: the load of the entry's processes, summed.
    void cpuDidChangedNotification(const Notification& notification);
    void showLoad(const CPUSample& sample);

    // HoverButtonDelegate of the quit button.
    void hoverButtonDidEnter() override;
    void hoverButtonDidExit() override;

    // One flag for every row: an options menu is open, or closed less than 0.25 s ago.
    static bool isOptionsMenuOpen();

    // "12.5%": the load as the row shows it.
    static QString loadText(double percent);
    // "The load of 3 processes": what the load's tool tip says it counts.
    static QString processCount(int count);

    QCheckBox* checkBt() const { return checkBt_; }
    QLabel* iconView() const { return iconView_; }
    QLabel* titleLabel() const { return titleLabel_; }
    HoverButton* moreBt() const { return moreBt_; }
    QLabel* cpuLabel() const { return cpuLabel_; }
    HoverButton* quitBt() const { return quitBt_; }
    QMenu* optionsMenu() const { return optionsMenu_; }
    // The entry shown (null for none), the row index, and Alt as it was when filled.
    const MenuAppPtr& app() const { return app_; }
    int index() const { return index_; }
    bool alternate() const { return alternate_; }
    // Termination looks made since the last quit press; shared with the looks still running.
    int countCheck() const { return countCheck_->load(); }
    // Half transparent: the entry's policy decides, or a quit press dimmed the row.
    bool isDimmed() const { return dimmed_; }
    // The full title; the label may show it shortened in the middle.
    const QString& title() const { return title_; }

    // Told of the row's check box, hover and policy choices. Not owned.
    MenuViewCellDelegate* delegate = nullptr;

Q_SIGNALS:
    // The row took the keyboard focus (the table follows it).
    void focused(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool isForce() const;
    // Whether every process of `entry` answers, as far as the desktop tells.
    static bool entryResponds(const MenuApp* entry);
    void setDimmed(bool dimmed);
    void updateImages(bool hover);
    void updateIcon();
    void updateTitle();
    void updateAccessibility();
    void layoutParts();
    void choosePolicy(bool always);

    Dispatcher& dispatcher_;
    Preferences& preferences_;
    QCheckBox* checkBt_;
    QLabel* iconView_;
    QLabel* titleLabel_;
    HoverButton* moreBt_;
    QLabel* cpuLabel_;
    HoverButton* quitBt_;
    QMenu* optionsMenu_;

    MenuAppPtr app_;
    bool alternate_ = false;
    bool responding_ = true;
    int index_ = 0;
    bool dimmed_ = false;
    // The focus came from the keyboard (or the program), not from a click: show the band.
    bool keyboardFocus_ = false;
    QString title_;
    QIcon appIcon_;
    std::shared_ptr<std::atomic<int>> countCheck_ = std::make_shared<std::atomic<int>>(0);
};

}  // namespace klosia
