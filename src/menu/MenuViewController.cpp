#include "menu/MenuViewController.h"

#include <QApplication>
#include <QBitmap>
#include <QCheckBox>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>

#include <set>

#include "core/NotificationBus.h"
#include "menu/HoverButton.h"
#include "menu/MenuBackground.h"
#include "menu/MenuBannerView.h"
#include "menu/MenuGeometry.h"
#include "menu/MenuKeyMonitor.h"
#include "menu/MenuQuitMode.h"
#include "menu/MenuQuitRun.h"
#include "menu/MenuTableView.h"
#include "menu/MenuViewCell.h"
#include "menu/MenuWindowController.h"
#include "menu/RotateLabel.h"
#include "menu/SettingsMenu.h"
#include "settings/Preferences.h"

namespace klosia {

namespace {

// How much of the desktop shows through the menu when a compositor can blend it.
constexpr qreal kTranslucentAlpha = 0.94;
constexpr int kSideMargin = 12;
constexpr int kFieldHeight = 26;

}  // namespace

MenuViewController::MenuViewController(Dispatcher& dispatcher, Preferences& preferences,
                                       QWidget* parent)
    : QWidget(parent),
      dispatcher_(dispatcher),
      preferences_(preferences),
      searchField_(new QLineEdit(this)),
      selectAllBt_(new QCheckBox(this)),
      appsTableView_(new MenuTableView(this)),
      noticeLabel_(new QLabel(this)),
      banner_(new MenuBannerView(this)),
      footer_(new MenuFooterView(this)),
      klosiaBt_(footer_->klosiaBt()),
      settingsMenu_(new SettingsMenu(preferences, this)),
      keyMonitor_(new MenuKeyMonitor(*this)) {
    setAttribute(Qt::WA_NoSystemBackground);

    searchField_->setPlaceholderText(tr("Search"));
    searchField_->setAccessibleName(tr("Search applications"));
    searchField_->setClearButtonEnabled(true);
    connect(searchField_, &QLineEdit::textChanged, this, [this] { controlTextDidChange(); });

    selectAllBt_->setTristate(true);
    selectAllBt_->setCheckState(Qt::PartiallyChecked);
    selectAllBt_->setAccessibleName(tr("Select all applications"));
    selectAllBt_->setToolTip(tr("Select all"));
    connect(selectAllBt_, &QCheckBox::clicked, this, [this] { selectAllBtPress(); });
    // As a row's box: a screen reader's Toggle comes without a click.
    connect(selectAllBt_, &QCheckBox::toggled, this, [this] {
        dispatcher_.main([view = QPointer<MenuViewController>(this)] {
            if (MenuViewController* live = view.data();
                live != nullptr && live->selectAllBt_->checkState() != live->rowsCheckState()) {
                live->selectAllBtPress();
            }
        });
    });

    appsTableView_->setAccessibleName(tr("Running applications"));
    noticeLabel_->setWordWrap(true);
    noticeLabel_->setTextFormat(Qt::PlainText);
    noticeLabel_->setAlignment(Qt::AlignCenter);
    noticeLabel_->hide();
    appsTableView_->setDataSource(this);

    connect(klosiaBt_, &HoverButton::clicked, this, [this] { klosiaBtPress(); });
    connect(settingsBt(), &HoverButton::clicked, this, [this] { settingsBtPress(); });

    for (QWidget* widget : std::initializer_list<QWidget*>{
             searchField_, selectAllBt_, appsTableView_, klosiaBt_, settingsBt()}) {
        keyMonitor_->watch(widget);
    }
    setFocusProxy(searchField_);
    observe(this, &MenuViewController::cpuDidChangedNotification, names::cpuDidChanged);
    observe(this, &MenuViewController::preferencesDidChangedNotification,
            names::preferencesDidChanged);
    rotateLabel()->setHidden(preferences_.disableTips());
    layoutChildren();
}

MenuViewController::~MenuViewController() {
    appsTableView_->setDataSource(nullptr);
}

QFont MenuViewController::titleFont() {
    QFont font = QGuiApplication::font();
    font.setPixelSize(13);
    return font;
}

void MenuViewController::setApplications(std::vector<MenuAppPtr> applications) {
    applications_ = std::move(applications);
    shownFor_.reset();
}

const std::vector<MenuAppPtr>& MenuViewController::filteredApplications() const {
    // The search is a plain member: compared, not watched.
    if (shownFor_ && *shownFor_ == search) {
        return shown_;
    }
    shown_.clear();
    if (!search || search->isEmpty()) {
        shown_ = applications_;
    } else {
        const QString needle = search->toLower();
        for (const MenuAppPtr& app : applications_) {
            if (app && app->name.toLower().contains(needle)) {
                shown_.push_back(app);
            }
        }
    }
    shownFor_ = search;
    return shown_;
}

void MenuViewController::setBanner(const WorkspaceBanner& banner) {
    banner_->setBanner(banner.text, banner.buttonTitle, banner.press);
    layoutChildren();
}

void MenuViewController::setNotice(const QString& notice) {
    noticeLabel_->setText(notice);
    noticeLabel_->setAccessibleName(notice);
    noticeLabel_->setVisible(!notice.isEmpty());
    appsTableView_->setVisible(notice.isEmpty());
    if (!notice.isEmpty()) {
        klosiaBt_->setEnabled(false);
    }
}

void MenuViewController::updateKlosiaBt() {
    updateKlosiaTitle();
    reloadData();
}

void MenuViewController::updateKlosiaTitle() {
    const std::vector<MenuAppPtr>& shown = filteredApplications();
    if (shown.empty()) {
        return;
    }
    const auto selected = std::count_if(shown.begin(), shown.end(),
                                        [](const MenuAppPtr& app) { return app->selected; });
    const bool all = static_cast<std::size_t>(selected) == shown.size();
    const QuitOption option = preferences_.quitOption();
    klosiaBt_->setText(MenuQuitMode::klosiaTitle(option, all, alternate));
    klosiaBt_->setAccessibleName(MenuQuitMode::klosiaAccessibleName(option, all, alternate));
    klosiaBt_->setEnabled(selected > 0);
    footer_->updateColors();
}

void MenuViewController::updateSelectAllBt() {
    selectAllBt_->setCheckState(rowsCheckState());
}

Qt::CheckState MenuViewController::rowsCheckState() const {
    std::set<bool> states;
    for (const MenuAppPtr& app : filteredApplications()) {
        if (app && app->policy == MenuAppPolicy::standard) {
            states.insert(app->selected);
        }
    }
    if (states.size() == 1) {
        return *states.begin() ? Qt::Checked : Qt::Unchecked;
    }
    return Qt::PartiallyChecked;
}

Qt::CheckState MenuViewController::selectAllState() const {
    return selectAllBt_->checkState();
}

void MenuViewController::selectAllBtPress() {
    const bool check = selectAllBt_->checkState() != Qt::Unchecked;
    MenuWindowController* owner = menuWindowController.data();
    std::vector<MenuAppPtr> rebuilt;
    rebuilt.reserve(applications_.size());
    for (const MenuAppPtr& app : applications_) {
        MenuAppPtr entry = app;
        if (app->policy == MenuAppPolicy::standard) {
            entry = std::make_shared<MenuApp>(check, app->name, app->bundleIdentifier, app->apps,
                                              app->policy);
        }
        if (owner != nullptr) {
            DeselectedApps& deselected = owner->appList().deselectedApps;
            if (entry->selected) {
                deselected.remove(entry->bundleIdentifier);
            } else {
                deselected.insert(entry->bundleIdentifier, entry);
            }
        }
        rebuilt.push_back(std::move(entry));
    }
    setApplications(std::move(rebuilt));
    updateSelectAllBt();
    updateKlosiaTitle();
    reloadData();
}

void MenuViewController::selectAll() {
    selectAllBt_->setCheckState(Qt::Checked);
    selectAllBtPress();
}

void MenuViewController::klosiaBtPress() {
    quitSelected();
}

void MenuViewController::quitSelected() {
    const std::vector<MenuAppPtr> shown = filteredApplications();
    std::vector<MenuAppPtr> checked;
    std::copy_if(shown.begin(), shown.end(), std::back_inserter(checked),
                 [](const MenuAppPtr& app) { return app->selected; });
    const QuitOption option = preferences_.quitOption();
    // "All" is decided now, as the title read: the list shrinks while the applications end.
    MenuQuitRun::start(dispatcher_, checked, MenuQuitMode::isForce(option, alternate),
                       checked.size() == shown.size(), std::source_location::current());
}

void MenuViewController::settingsBtPress() {
    settingsMenu_->popUp(*settingsBt());
}

void MenuViewController::controlTextDidChange() {
    const QString text = searchField_->text();
    if (text.isEmpty()) {
        search.reset();
    } else {
        search = text.trimmed();
    }
    updateBackground();
    updateSelectAllBt();
    // The title names what a press does, and a press counts the entries shown now.
    updateKlosiaTitle();
    reloadData();
    if (MenuWindowController* owner = menuWindowController.data()) {
        owner->layoutWindow();
    }
}

void MenuViewController::clearSearch() {
    search.reset();
    const QSignalBlocker quiet(searchField_);
    searchField_->clear();
}

void MenuViewController::resetForNextOpening() {
    lastSample_.reset();
    hoverIndex.reset();
    keyDown = false;
    appsTableView_->resetPosition();
}

void MenuViewController::reloadData() {
    appsTableView_->reloadData();
}

int MenuViewController::numberOfRows() const {
    return static_cast<int>(filteredApplications().size());
}

MenuViewCell* MenuViewController::makeCell(QWidget* parent) {
    auto* cell = new MenuViewCell(dispatcher_, preferences_, parent);
    keyMonitor_->watch(cell);
    return cell;
}

void MenuViewController::configureCell(MenuViewCell& cell, int row) {
    const std::vector<MenuAppPtr>& shown = filteredApplications();
    if (row < 0 || static_cast<std::size_t>(row) >= shown.size()) {
        return;
    }
    cell.configure(shown[static_cast<std::size_t>(row)], alternate,
                   hoverIndex.has_value() && *hoverIndex == row, row);
    cell.delegate = this;
    if (lastSample_) {
        cell.cpuDidChangedNotification(Notification{names::cpuDidChanged, lastSample_});
    }
}

QString MenuViewController::rowKey(int row) const {
    const std::vector<MenuAppPtr>& shown = filteredApplications();
    if (row < 0 || static_cast<std::size_t>(row) >= shown.size()) {
        return {};
    }
    const MenuApp& app = *shown[static_cast<std::size_t>(row)];
    const qint64 pid =
        app.apps.empty() || !app.apps.front() ? 0 : app.apps.front()->processIdentifier();
    return app.bundleIdentifier + QLatin1Char('/') + QString::number(pid) + QLatin1Char('/') +
           app.name;
}

void MenuViewController::cpuDidChangedNotification(const Notification& notification) {
    lastSample_ = notification.object;
    for (MenuViewCell* cell : appsTableView_->visibleCells()) {
        cell->cpuDidChangedNotification(notification);
    }
}

void MenuViewController::preferencesDidChangedNotification(const Notification& /*notification*/) {
    rotateLabel()->setHidden(preferences_.disableTips());
}

void MenuViewController::didCheck(const MenuAppPtr& app, bool selected) {
    if (app) {
        const std::vector<MenuAppPtr> shown = filteredApplications();
        // The row's own entry first: two entries may share an identifier.
        auto match = std::find(shown.begin(), shown.end(), app);
        if (match == shown.end()) {
            match = std::find_if(shown.begin(), shown.end(), [&](const MenuAppPtr& entry) {
                return entry->bundleIdentifier == app->bundleIdentifier;
            });
        }
        if (match != shown.end()) {
            (*match)->selected = selected;
        }
    }
    updateSelectAllBt();
    if (delegate != nullptr) {
        delegate->didCheck(app, selected);
    }
    updateKlosiaBt();
}

void MenuViewController::didHover(std::optional<int> index) {
    hoverIndex = index;
    if (delegate != nullptr) {
        delegate->didHover(index);
    }
}

void MenuViewController::didChangePolicy(const MenuAppPtr& app, MenuAppPolicy policy) {
    if (delegate != nullptr) {
        delegate->didChangePolicy(app, policy);
    }
}

void MenuViewController::keyPressEvent(QKeyEvent* event) {
    // Keys the focused control left alone arrive here.
    if (!keyMonitor_->navigate(*event)) {
        QWidget::keyPressEvent(event);
    }
}

bool MenuViewController::focusNextPrevChild(bool next) {
    return keyMonitor_->focusNext(next);
}

void MenuViewController::updateBackground() {
    const QSize area = size();
    const qreal ratio = devicePixelRatioF();
    const bool translucent = window()->testAttribute(Qt::WA_TranslucentBackground);
    QColor fill = palette().color(QPalette::Window);
    QColor outline = palette().color(QPalette::Mid);
    if (translucent) {
        fill.setAlphaF(kTranslucentAlpha);
        outline.setAlphaF(kTranslucentAlpha);
    }
    // Rebuilds and searches ask often; the shape changes only with the size and the colours.
    const QString key = QStringLiteral("%1x%2@%3 %4 %5 %6")
                            .arg(area.width())
                            .arg(area.height())
                            .arg(ratio)
                            .arg(fill.rgba())
                            .arg(outline.rgba())
                            .arg(translucent);
    if (key == backgroundKey_ && !background_.isNull()) {
        update();
        return;
    }
    backgroundKey_ = key;
    const QImage shape = MenuBackground::shapeImage(area, ratio);
    background_ = MenuBackground::outlined(shape, area, ratio, fill, outline);

    // Without a compositor the window cannot be transparent: the X server cuts it to the shape.
    if (window() != this) {
        if (translucent) {
            window()->clearMask();
        } else {
            const QImage logical = ratio == 1.0 ? shape : MenuBackground::shapeImage(area, 1.0);
            window()->setMask(QBitmap::fromImage(logical.createAlphaMask()));
        }
    }
    update();
}

void MenuViewController::paintEvent(QPaintEvent* /*event*/) {
    if (background_.isNull() || background_.deviceIndependentSize().toSize() != size()) {
        updateBackground();
    }
    QPainter painter(this);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(QPointF(0, 0), background_);
}

void MenuViewController::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutChildren();
}

void MenuViewController::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        updateBackground();
        reloadData();
    }
}

void MenuViewController::layoutChildren() {
    using namespace menugeometry;
    const int inner = std::max(0, width() - 2 * kSideMargin);
    const int fieldTop = (kHeaderHeight - kFieldHeight) / 2;
    // The select-all box stands over the rows' boxes.
    selectAllBt_->setGeometry(kSideMargin + 2, fieldTop, 22, kFieldHeight);
    searchField_->setGeometry(kSideMargin + 28, fieldTop, std::max(0, inner - 28), kFieldHeight);
    const int listTop = kHeaderHeight + (banner_->isVisibleTo(this) ? MenuBannerView::kHeight : 0);
    const int footerTop = std::max(listTop, height() - kFooterHeight);
    banner_->setGeometry(kSideMargin, kHeaderHeight, inner, MenuBannerView::kHeight);
    appsTableView_->setGeometry(kSideMargin, listTop, inner, footerTop - listTop);
    noticeLabel_->setGeometry(kSideMargin, listTop, inner, footerTop - listTop);
    footer_->setGeometry(kSideMargin, footerTop, inner, kFooterHeight);
}

}  // namespace klosia
