#include "menu/MenuViewController.h"

#include <QBitmap>
#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QRegion>

#include <set>

#include "menu/MenuBackground.h"
#include "menu/MenuGeometry.h"

namespace klosia {

namespace {

// How much of the desktop shows through the menu when a compositor can blend it.
constexpr qreal kTranslucentAlpha = 0.94;
constexpr int kSideMargin = 12;

}  // namespace

MenuViewController::MenuViewController(QWidget* parent)
    : QWidget(parent), header_(new QLabel(this)), rows_(new QListWidget(this)) {
    setAttribute(Qt::WA_NoSystemBackground);
    header_->setText(tr("Running applications"));
    header_->setForegroundRole(QPalette::PlaceholderText);
    header_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    rows_->setAccessibleName(tr("Running applications"));
    rows_->setFrameShape(QFrame::NoFrame);
    rows_->setFocusPolicy(Qt::NoFocus);
    rows_->setSelectionMode(QAbstractItemView::NoSelection);
    rows_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rows_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    rows_->setUniformItemSizes(true);
    rows_->setFont(titleFont());
    rows_->setIconSize(QSize(18, 18));
    // The menu's own background shows through the rows. Only these two roles are fixed: the
    // others keep following the application's palette (light or dark).
    QPalette transparent;
    transparent.setColor(QPalette::Base, Qt::transparent);
    transparent.setColor(QPalette::Window, Qt::transparent);
    rows_->setPalette(transparent);
    rows_->viewport()->setAutoFillBackground(false);
    layoutChildren();
}

QFont MenuViewController::titleFont() {
    QFont font = QGuiApplication::font();
    font.setPixelSize(13);
    return font;
}

void MenuViewController::setApplications(std::vector<MenuAppPtr> applications) {
    applications_ = std::move(applications);
}

std::vector<MenuAppPtr> MenuViewController::filteredApplications() const {
    if (!search || search->isEmpty()) {
        return applications_;
    }
    const QString needle = search->toLower();
    std::vector<MenuAppPtr> shown;
    for (const MenuAppPtr& app : applications_) {
        if (app && app->name.toLower().contains(needle)) {
            shown.push_back(app);
        }
    }
    return shown;
}

void MenuViewController::updateKlosiaBt() {
    reloadData();
}

void MenuViewController::updateSelectAllBt() {
    std::set<bool> states;
    for (const MenuAppPtr& app : filteredApplications()) {
        if (app && app->policy == MenuAppPolicy::standard) {
            states.insert(app->selected);
        }
    }
    if (states.size() == 1) {
        selectAllState_ = *states.begin() ? Qt::Checked : Qt::Unchecked;
    } else {
        selectAllState_ = Qt::PartiallyChecked;
    }
}

void MenuViewController::updateBackground() {
    const QSize area = size();
    const qreal ratio = devicePixelRatioF();
    const bool translucent = window()->testAttribute(Qt::WA_TranslucentBackground);
    const QImage shape = MenuBackground::shapeImage(area, ratio);

    // A one-point outline in the palette's mid colour, then the window colour inside it.
    QImage composed(shape.size(), QImage::Format_ARGB32_Premultiplied);
    composed.setDevicePixelRatio(ratio);
    composed.fill(Qt::transparent);
    QColor fill = palette().color(QPalette::Window);
    QColor outline = palette().color(QPalette::Mid);
    if (translucent) {
        fill.setAlphaF(kTranslucentAlpha);
        outline.setAlphaF(kTranslucentAlpha);
    }
    {
        QPainter painter(&composed);
        painter.drawImage(QPointF(0, 0), MenuBackground::tinted(shape, outline));
        if (area.width() > 2 && area.height() > 2) {
            const QImage inner = MenuBackground::shapeImage(area - QSize(2, 2), ratio);
            painter.setCompositionMode(QPainter::CompositionMode_Source);
            painter.drawImage(QPointF(1, 1), MenuBackground::tinted(inner, fill));
        }
    }
    background_ = composed;

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

void MenuViewController::reloadData() {
    rows_->clear();
    for (const MenuAppPtr& app : filteredApplications()) {
        if (!app) {
            continue;
        }
        QIcon icon;
        if (!app->apps.empty() && app->apps.front()) {
            icon = app->apps.front()->icon();
        }
        auto* item = new QListWidgetItem(icon, app->title(), rows_);
        item->setForeground(palette().color(QPalette::WindowText));
        item->setSizeHint(QSize(0, menugeometry::kRowHeight));
        item->setFlags(Qt::ItemIsEnabled);
    }
}

void MenuViewController::clearSearch() {
    search.reset();
}

void MenuViewController::didCheck(const MenuAppPtr& app, bool selected) {
    if (app) {
        for (const MenuAppPtr& shown : filteredApplications()) {
            if (shown && shown->bundleIdentifier == app->bundleIdentifier) {
                shown->selected = selected;
                break;
            }
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
    header_->setGeometry(kSideMargin, 0, inner, kHeaderHeight);
    rows_->setGeometry(kSideMargin, kHeaderHeight, inner,
                       std::max(0, height() - kHeaderHeight - kFooterHeight));
}

}  // namespace klosia
