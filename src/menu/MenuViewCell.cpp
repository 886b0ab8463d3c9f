#include "menu/MenuViewCell.h"

#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPointer>

#include <algorithm>
#include <cstdint>

#include "core/Dispatcher.h"
#include "log/Vezizur.h"
#include "menu/HoverButton.h"
#include "menu/MenuCellQuit.h"
#include "menu/MenuGeometry.h"
#include "menu/MenuGlyph.h"
#include "menu/MenuQuitMode.h"
#include "menu/MenuViewCellDelegate.h"
#include "menu/MenuViewController.h"
#include "model/CPUSample.h"
#include "services/Sound.h"
#include "settings/Preferences.h"

namespace klosia {

namespace {

// The warning colour of "Not Responding": legible on light and dark menus.
const QColor kNotRespondingColour(0xd0, 0x45, 0x1b);

// Shared by every row, main thread only. A clear scheduled by an earlier menu is void once
// another menu opened: the generation tells them apart.
bool optionsMenuOpen = false;
std::uint64_t optionsMenuGeneration = 0;

constexpr int kCheckWidth = 22;
constexpr int kGap = 4;
constexpr qreal kDimmed = 0.5;

}  // namespace

MenuViewCell::MenuViewCell(Dispatcher& dispatcher, Preferences& preferences, QWidget* parent)
    : QWidget(parent),
      dispatcher_(dispatcher),
      preferences_(preferences),
      checkBt_(new QCheckBox(this)),
      iconView_(new QLabel(this)),
      titleLabel_(new QLabel(this)),
      moreBt_(new HoverButton(this)),
      cpuLabel_(new QLabel(this)),
      quitBt_(new HoverButton(this)),
      optionsMenu_(new QMenu(this)) {
    setFocusPolicy(Qt::ClickFocus);
    checkBt_->setFocusPolicy(Qt::NoFocus);
    connect(checkBt_, &QCheckBox::clicked, this, [this] { checkBtPress(); });
    // A screen reader's Toggle sets the box without a click; left alone, the row would look
    // unchecked while its application was still quit. The row follows the box once the click
    // under way, if any, has been handled.
    connect(checkBt_, &QCheckBox::toggled, this, [this] {
        dispatcher_.main([cell = QPointer<MenuViewCell>(this)] {
            if (cell) {
                cell->followCheckBox();
            }
        });
    });
    // Presses on the labels belong to the row: they bring its application to the front.
    for (QLabel* label : {iconView_, titleLabel_, cpuLabel_}) {
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setTextFormat(Qt::PlainText);
    }
    iconView_->setAlignment(Qt::AlignCenter);
    titleLabel_->setFont(MenuViewController::titleFont());
    cpuLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cpuLabel_->setForegroundRole(QPalette::PlaceholderText);
    cpuLabel_->setText(loadText(0));

    moreBt_->setFocusPolicy(Qt::NoFocus);
    moreBt_->setIconSize(QSize(kMoreSize - 2, kMoreSize - 2));
    moreBt_->hide();
    connect(moreBt_, &HoverButton::clicked, this, [this] { optionsBtPress(); });
    quitBt_->setFocusPolicy(Qt::NoFocus);
    quitBt_->setIconSize(QSize(kQuitSize - 2, kQuitSize - 2));
    quitBt_->delegate = this;
    connect(quitBt_, &HoverButton::clicked, this, [this] { quitBtPress(); });
    connect(optionsMenu_, &QMenu::aboutToHide, this, [this] { menuDidClose(); });
    updateImages(false);
}

MenuViewCell::~MenuViewCell() {
    quitBt_->delegate = nullptr;
}

QString MenuViewCell::processCount(int count) {
    // Spelled out for one and for more: without a translation loaded, "%n" leaves its
    // "(es)" on screen.
    return count == 1 ? tr("The load of 1 process") : tr("The load of %1 processes").arg(count);
}

QString MenuViewCell::loadText(double percent) {
    return QString::asprintf("%.1f", percent) + QLatin1Char('%');
}

bool MenuViewCell::isOptionsMenuOpen() {
    return optionsMenuOpen;
}

bool MenuViewCell::isForce() const {
    // An application that does not answer cannot answer a request to quit either.
    return MenuQuitMode::isForce(preferences_.quitOption(), alternate_) || !responding_;
}

bool MenuViewCell::entryResponds(const MenuApp* entry) {
    return entry == nullptr || std::all_of(entry->apps.begin(), entry->apps.end(),
                                           [](const RunningApplicationPtr& app) {
                                               return !app || app->isResponding();
                                           });
}

void MenuViewCell::configure(const MenuAppPtr& entry, bool alternateMode, bool hover, int row) {
    const bool sameIcon = entry && app_ && !entry->apps.empty() && !app_->apps.empty() &&
                          entry->apps.front() == app_->apps.front();
    app_ = entry;
    alternate_ = alternateMode;
    const bool wasResponding = responding_;
    responding_ = entryResponds(entry.get());
    if (responding_ != wasResponding) {
        layoutParts();
    }
    index_ = row;

    const bool standard = !entry || entry->policy == MenuAppPolicy::standard;
    checkBt_->setChecked(entry &&
                         (standard ? entry->selected : entry->policy == MenuAppPolicy::always));
    checkBt_->setEnabled(entry && standard);

    if (!sameIcon) {
        appIcon_ = entry && !entry->apps.empty() && entry->apps.front()
                       ? entry->apps.front()->icon()
                       : QIcon();
    }
    title_ = entry ? entry->title() : QString();
    cpuLabel_->setText(loadText(0));
    cpuLabel_->setToolTip(entry ? processCount(static_cast<int>(entry->loadPids().size()))
                                : QString());
    cpuLabel_->setAccessibleDescription(cpuLabel_->toolTip());
    // A rebuild under a resting pointer keeps the row's hover look.
    moreBt_->setVisible(entry && underMouse() && !optionsMenuOpen);
    quitBt_->showHover(false);  // a button about to be disabled keeps no hover look
    quitBt_->setToolTip(MenuCellQuit::refusal(entry, isForce()));
    quitBt_->setEnabled(quitBt_->toolTip().isEmpty());
    updateImages(hover && quitBt_->underMouse());
    dimmed_ = !standard;
    updateIcon();
    updateTitle();
    updateAccessibility();
}

void MenuViewCell::updateImages(bool hover) {
    const qreal ratio = devicePixelRatioF();
    const QColor text = palette().color(QPalette::WindowText);
    const QColor accent = palette().color(QPalette::Highlight);
    const QString base = isForce() ? QStringLiteral("force-quit-app") : QStringLiteral("quit-app");
    const QSize quitSize = quitBt_->iconSize();
    quitBt_->setImages(
        MenuGlyph::icon(base, quitSize, text, ratio),
        MenuGlyph::icon(base + QStringLiteral("-selected"), quitSize, accent, ratio));
    quitBt_->showHover(hover);
    const QSize moreSize = moreBt_->iconSize();
    moreBt_->setImages(MenuGlyph::icon(QStringLiteral("more-app"), moreSize, text, ratio),
                       MenuGlyph::icon(QStringLiteral("more-app"), moreSize, accent, ratio));
}

void MenuViewCell::updateIcon() {
    iconView_->setPixmap(MenuGlyph::applicationPixmap(
        appIcon_, QSize(kIconSize, kIconSize), palette().color(QPalette::PlaceholderText),
        devicePixelRatioF(), dimmed_ ? kDimmed : 1.0, app_ != nullptr));
}

void MenuViewCell::updateTitle() {
    QPalette shade = palette();
    QColor color = shade.color(QPalette::WindowText);
    color.setAlphaF(dimmed_ ? kDimmed : 1.0);
    shade.setColor(QPalette::WindowText, color);
    titleLabel_->setPalette(shade);
    titleLabel_->setText(
        titleLabel_->fontMetrics().elidedText(title_, Qt::ElideMiddle, titleLabel_->width()));
}

void MenuViewCell::setDimmed(bool dimmed) {
    dimmed_ = dimmed;
    updateIcon();
    updateTitle();
}

void MenuViewCell::updateAccessibility() {
    const QString name = app_ ? app_->name : QString();
    setAccessibleName(title_);
    QString state = checkBt_->isChecked() ? tr("checked") : tr("not checked");
    if (app_ && app_->policy == MenuAppPolicy::always) {
        state += tr(", always quit");
    } else if (app_ && app_->policy == MenuAppPolicy::never) {
        state += tr(", never quit");
    }
    setAccessibleDescription(state);
    checkBt_->setAccessibleName(tr("Select %1").arg(name));
    quitBt_->setAccessibleName(isForce() ? tr("Force quit %1").arg(name) : tr("Quit %1").arg(name));
    quitBt_->setAccessibleDescription(quitBt_->toolTip());
    moreBt_->setAccessibleName(tr("Quit options for %1").arg(name));
    cpuLabel_->setAccessibleName(responding_ ? tr("Processor load of %1").arg(name)
                                             : tr("%1 is not responding").arg(name));
    iconView_->setAccessibleName(tr("Icon of %1").arg(name));
}

void MenuViewCell::checkBtPress() {
    if (!app_) {
        return;
    }
    const bool on = checkBt_->isChecked();
    logger.log("app: " + app_->bundleIdentifier.toStdString() + " did changed check [" +
                   (on ? "on" : "off") + "]",
               VezizurLevel::info);
    updateAccessibility();
    if (delegate != nullptr) {
        const MenuAppPtr entry = app_;  // the delegate may refill this row
        delegate->didCheck(entry, on);
    }
}

void MenuViewCell::followCheckBox() {
    if (app_ && app_->policy == MenuAppPolicy::standard && checkBt_->isEnabled() &&
        checkBt_->isChecked() != app_->selected) {
        checkBtPress();
    }
}

void MenuViewCell::quitBtPress(std::optional<bool> force) {
    // Delete comes here too, past the disabled button: a refused quit leaves the row as it is.
    if (app_ && !MenuCellQuit::start(dispatcher_, app_, force.value_or(isForce()), countCheck_)) {
        return;
    }
    checkBt_->setEnabled(false);
    setDimmed(true);
    Sound::quitSingle();
}

void MenuViewCell::optionsBtPress() {
    if (!app_) {
        return;
    }
    optionsMenu_->clear();
    QAction* always = optionsMenu_->addAction(tr("Always Quit"));
    always->setCheckable(true);
    always->setChecked(app_->policy == MenuAppPolicy::always);
    connect(always, &QAction::triggered, this, [this] { alwaysQuitPress(); });
    QAction* never = optionsMenu_->addAction(tr("Never Quit"));
    never->setCheckable(true);
    never->setChecked(app_->policy == MenuAppPolicy::never);
    connect(never, &QAction::triggered, this, [this] { neverQuitPress(); });
    optionsMenuOpen = true;
    ++optionsMenuGeneration;
    // Under the more button; opened from the keyboard, where the button would be.
    const QPoint corner = moreBt_->geometry().bottomLeft() + QPoint(0, 1);
    optionsMenu_->popup(mapToGlobal(corner));
}

void MenuViewCell::choosePolicy(bool always) {
    if (app_) {
        const MenuAppPtr entry = app_;  // the delegate rebuilds the list and refills this row
        const MenuAppPolicy chosen = always ? MenuAppPolicy::always : MenuAppPolicy::never;
        const MenuAppPolicy policy = entry->policy == chosen ? MenuAppPolicy::standard : chosen;
        if (delegate != nullptr) {
            delegate->didChangePolicy(entry, policy);
        }
    }
    menuDidClose();
}

void MenuViewCell::alwaysQuitPress() {
    choosePolicy(true);
}

void MenuViewCell::neverQuitPress() {
    choosePolicy(false);
}

void MenuViewCell::menuDidClose() {
    dispatcher_.mainAfter(Dispatcher::Delay(kOptionsMenuGrace),
                          [generation = optionsMenuGeneration] {
                              if (generation == optionsMenuGeneration) {
                                  optionsMenuOpen = false;
                              }
                          });
}

void MenuViewCell::cpuDidChangedNotification(const Notification& notification) {
    const auto* sample = dynamic_cast<const CPUSample*>(notification.object.get());
    if (sample != nullptr) {
        showLoad(*sample);
    }
}

void MenuViewCell::showLoad(const CPUSample& sample) {
    if (!app_) {
        return;
    }
    const bool responding = entryResponds(app_.get());
    if (responding != responding_) {
        responding_ = responding;
        // The quit button takes the force form while the application does not answer.
        quitBt_->setToolTip(MenuCellQuit::refusal(app_, isForce()));
        quitBt_->setEnabled(quitBt_->toolTip().isEmpty());
        updateImages(quitBt_->underMouse());
        updateAccessibility();
        QPalette colours = cpuLabel_->palette();
        colours.setColor(QPalette::WindowText, kNotRespondingColour);
        cpuLabel_->setPalette(colours);
        cpuLabel_->setForegroundRole(responding ? QPalette::PlaceholderText : QPalette::WindowText);
        layoutParts();
    }
    if (!responding_) {
        cpuLabel_->setText(tr("Not Responding"));
        return;
    }
    const std::vector<pid_t> pids = app_->loadPids();
    double sum = 0;
    for (const CPUEntry& entry : sample.entries) {
        if (std::find(pids.begin(), pids.end(), entry.pid) != pids.end()) {
            sum += static_cast<double>(entry.cpu);
        }
    }
    cpuLabel_->setText(loadText(sum));
    // The label's name says what it is; a screen reader hears the figure here.
    const int count = static_cast<int>(pids.size());
    cpuLabel_->setAccessibleDescription(
        count == 1 ? tr("%1, the load of 1 process").arg(loadText(sum))
                   : tr("%1, the load of %2 processes").arg(loadText(sum)).arg(count));
}

void MenuViewCell::hoverButtonDidEnter() {
    if (delegate != nullptr) {
        delegate->didHover(index_);
    }
}

void MenuViewCell::hoverButtonDidExit() {
    if (delegate != nullptr) {
        delegate->didHover(std::nullopt);
    }
}

void MenuViewCell::mousePressEvent(QMouseEvent* event) {
    QWidget::mousePressEvent(event);
    if (!app_ || app_->apps.empty() || !app_->apps.front()) {
        return;
    }
    // Background processes have no window to bring forward.
    const RunningApplicationPtr& first = app_->apps.front();
    if (first->activationPolicy() == ActivationPolicy::regular) {
        first->activate();
    }
}

void MenuViewCell::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (app_ && !optionsMenuOpen) {
        moreBt_->show();
    }
}

void MenuViewCell::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    moreBt_->hide();
}

void MenuViewCell::keyPressEvent(QKeyEvent* event) {
    if (!keyboardFocus_) {
        keyboardFocus_ = true;  // a click put the focus here, the keys use it now
        update();
    }
    const Qt::KeyboardModifiers modifiers =
        event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (event->key() == Qt::Key_Space && modifiers == Qt::NoModifier) {
        if (checkBt_->isEnabled()) {
            checkBt_->click();
        }
    } else if (event->key() == Qt::Key_Delete &&
               (modifiers == Qt::NoModifier || modifiers == Qt::AltModifier)) {
        // As the quit button pressed, with Alt held or not: the key says which.
        quitBtPress(MenuQuitMode::isForce(preferences_.quitOption(), modifiers == Qt::AltModifier));
    } else if (event->key() == Qt::Key_Menu ||
               (event->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
        optionsBtPress();
    } else {
        event->ignore();  // arrows to the table; Return, Escape and typing to the menu
        return;
    }
    event->accept();
}

void MenuViewCell::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    keyboardFocus_ = event->reason() != Qt::MouseFocusReason;
    update();
    Q_EMIT focused(index_);
}

void MenuViewCell::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void MenuViewCell::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutParts();
    updateTitle();
}

void MenuViewCell::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        updateImages(quitBt_->entered());
        updateIcon();
        updateTitle();
    }
}

void MenuViewCell::paintEvent(QPaintEvent* /*event*/) {
    if (!hasFocus() || !keyboardFocus_) {
        return;
    }
    // The keyboard's row: a soft accent band that reads in light and dark themes.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor band = palette().color(QPalette::Highlight);
    painter.setPen(band);
    band.setAlphaF(0.18);
    painter.setBrush(band);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
}

void MenuViewCell::layoutParts() {
    const int h = height();
    const int w = width();
    checkBt_->setGeometry(2, 0, kCheckWidth, h);
    const int iconX = 2 + kCheckWidth + 2;
    iconView_->setGeometry(iconX, (h - kIconSize) / 2, kIconSize, kIconSize);
    const int quitX = w - kQuitSize - 2;
    quitBt_->setGeometry(quitX, (h - kQuitSize) / 2, kQuitSize, kQuitSize);
    const int moreX = quitX - kMoreSize - 2;
    moreBt_->setGeometry(moreX, (h - kMoreSize) / 2, kMoreSize, kMoreSize);
    // "Not Responding" is wider than a load: it takes its room from the title.
    const int cpuWidth =
        responding_
            ? kCpuWidth
            : std::max(kCpuWidth,
                       cpuLabel_->fontMetrics().horizontalAdvance(tr("Not Responding")) + 2);
    const int cpuX = moreX - kGap - cpuWidth;
    cpuLabel_->setGeometry(cpuX, 0, cpuWidth, h);
    const int titleX = iconX + kIconSize + 6;
    titleLabel_->setGeometry(titleX, 0, std::max(0, cpuX - kGap - titleX), h);
}

}  // namespace klosia
