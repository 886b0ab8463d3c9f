#include "preferences/PreferencesWindowController.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QPropertyAnimation>
#include <QScreen>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>

#include "log/Vezizur.h"
#include "preferences/PreferencesAboutViewController.h"
#include "preferences/PreferencesGeneralViewController.h"
#include "preferences/PreferencesShortcutsViewController.h"
#include "preferences/PreferencesViewController.h"
#include "preferences/PreferencesWindow.h"
#include "preferences/SettingsViewRecorder.h"
#include "resources/Resources.h"

namespace klosia {

namespace {

constexpr int kToolbarIconSide = 24;

QString iconName(PreferenceTab tab) {
    switch (tab) {
        case PreferenceTab::general:
            return QStringLiteral("preferences-general");
        case PreferenceTab::shortcuts:
            return QStringLiteral("preferences-shortcut");
        case PreferenceTab::support:
            return QStringLiteral("preferences-support");
        case PreferenceTab::about:
            return QStringLiteral("preferences-about");
    }
    return {};
}

}  // namespace

PreferencesWindowController::PreferencesWindowController(Dispatcher& dispatcher, QObject* parent)
    : QObject(parent), window_(std::make_unique<PreferencesWindow>()) {
    preferencesToolbar_ = new QToolBar(window_.get());
    preferencesToolbar_->setObjectName(QStringLiteral("preferencesToolbar"));
    preferencesToolbar_->setAccessibleName(tr("Preferences sections"));
    preferencesToolbar_->setMovable(false);
    preferencesToolbar_->setFloatable(false);
    preferencesToolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    preferencesToolbar_->setIconSize(QSize(kToolbarIconSide, kToolbarIconSide));
    preferencesToolbar_->setContextMenuPolicy(Qt::PreventContextMenu);
    tabs_ = new QActionGroup(preferencesToolbar_);
    tabs_->setExclusive(true);

    using Self = PreferencesWindowController;
    generalToolbarItem_ =
        addToolbarItem(PreferenceTab::general, tr("General"), &Self::generalToolbarItemPress);
    shortcutsToolbarItem_ =
        addToolbarItem(PreferenceTab::shortcuts, tr("Shortcut"), &Self::shortcutsToolbarItemPress);
    supportToolbarItem_ =
        addToolbarItem(PreferenceTab::support, tr("Support"), &Self::supportToolbarItemPress);
    aboutToolbarItem_ =
        addToolbarItem(PreferenceTab::about, tr("About"), &Self::aboutToolbarItemPress);
    applyIcons();
    connect(window_.get(), &PreferencesWindow::paletteChanged, this, &Self::applyIcons);

    auto* line = new QFrame(window_.get());
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    preferencesViewController_ = new PreferencesViewController(dispatcher, window_.get());

    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // The window's size is the tab's; the panes fit into it rather than push it.
    layout->setSizeConstraint(QLayout::SetNoConstraint);
    layout->addWidget(preferencesToolbar_);
    layout->addWidget(line);
    layout->addWidget(preferencesViewController_, 1);

    heightAnimation_ = new QPropertyAnimation(window_.get(), "contentHeight", this);
    heightAnimation_->setDuration(kResizeMilliseconds);
    heightAnimation_->setEasingCurve(QEasingCurve::InOutQuad);

    auto shortcut = [this](const QKeySequence& keys, auto slot) {
        auto* s = new QShortcut(keys, window_.get());
        s->setContext(Qt::WindowShortcut);
        connect(s, &QShortcut::activated, this, slot);
    };
    shortcut(QKeySequence(Qt::Key_Escape), [this] { closePreferences(); });
    shortcut(QKeySequence::Close, [this] { closePreferences(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), [this] { stepTab(1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), [this] { stepTab(-1); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), [this] { stepTab(-1); });

    selectTab(PreferenceTab::general);
}

PreferencesWindowController::~PreferencesWindowController() = default;

QAction* PreferencesWindowController::addToolbarItem(
    PreferenceTab tab, const QString& label, void (PreferencesWindowController::*action)()) {
    QAction* item = preferencesToolbar_->addAction(label);
    item->setObjectName(rawValue(tab));
    item->setCheckable(true);
    item->setToolTip(label);
    tabs_->addAction(item);
    connect(item, &QAction::triggered, this, action);
    return item;
}

QAction* PreferencesWindowController::toolbarItem(PreferenceTab tab) const {
    switch (tab) {
        case PreferenceTab::general:
            return generalToolbarItem_;
        case PreferenceTab::shortcuts:
            return shortcutsToolbarItem_;
        case PreferenceTab::support:
            return supportToolbarItem_;
        case PreferenceTab::about:
            return aboutToolbarItem_;
    }
    return generalToolbarItem_;
}

void PreferencesWindowController::applyIcons() {
    const QColor ink = window_->palette().color(QPalette::Active, QPalette::WindowText);
    for (PreferenceTab tab : kAllPreferenceTabs) {
        const QPixmap image =
            resources::pixmap(iconName(tab), QSize(kToolbarIconSide, kToolbarIconSide),
                              window_->devicePixelRatioF(), ink);
        toolbarItem(tab)->setIcon(QIcon(image));
    }
}

void PreferencesWindowController::setInactivityReset(std::function<void()> reset) {
    preferencesViewController_->preferencesGeneralViewController()->setInactivityReset(
        std::move(reset));
}

std::array<SettingsViewRecorder*, 3> PreferencesWindowController::recorders() const {
    const PreferencesShortcutsViewController* pane =
        preferencesViewController_->preferencesShortcutsViewController();
    return {pane->recorder(ShortcutRecorderType::activate),
            pane->recorder(ShortcutRecorderType::quit),
            pane->recorder(ShortcutRecorderType::force)};
}

void PreferencesWindowController::setShortcutRecordingObserver(
    const std::function<void(bool)>& observer) {
    for (SettingsViewRecorder* recorder : recorders()) {
        connect(recorder, &SettingsViewRecorder::recordingChanged, this, observer);
    }
}

void PreferencesWindowController::setUnshiftedKeysym(
    const std::function<std::uint32_t(std::uint32_t)>& unshifted) {
    for (SettingsViewRecorder* recorder : recorders()) {
        recorder->setUnshiftedKeysym(unshifted);
    }
}

void PreferencesWindowController::setUpdater(Updater* updater) {
    preferencesViewController_->preferencesAboutViewController()->setUpdater(updater);
}

void PreferencesWindowController::openPreferences() {
    if (window_->isVisible()) {
        window_->raise();
        window_->activateWindow();
        centre();
        selectTab(PreferenceTab::general);
    } else {
        // A hidden window takes the General height at once: nothing to animate on screen.
        selectTab(PreferenceTab::general);
        centre();
        window_->show();
        window_->raise();
        window_->activateWindow();
        keepActivationInStep();
    }
    logger.log("preferences will open", VezizurLevel::info);
}

void PreferencesWindowController::keepActivationInStep() {
#if QT_VERSION < QT_VERSION_CHECK(6, 5, 0)
    // Shown again moments after it was hidden, before the platform reported the focus gone, the
    // window is still Qt's focus window while hiding cleared the widgets' active window; or it
    // got the focus while a popup held the keyboard, when the widgets ignore activations. No
    // activation event comes for a focus window that did not change, so the window would take
    // no keys and give no focus: put the two back in step.
    if (QGuiApplication::focusWindow() == window_->windowHandle() &&
        QApplication::activeWindow() != window_.get()) {
        QApplication::setActiveWindow(window_.get());
    }
#endif
}

void PreferencesWindowController::bringToFront() {
    if (!window_->isVisible()) {
        return;
    }
    window_->raise();
    window_->activateWindow();
    keepActivationInStep();
}

void PreferencesWindowController::closePreferences() {
    window_->hide();
}

void PreferencesWindowController::selectTab(PreferenceTab tab) {
    preferenceTab_ = tab;
    window_->setWindowTitle(toolbarItem(tab)->text());
    toolbarItem(tab)->setChecked(true);
    preferencesViewController_->showPane(tab);
    resizeTo(contentHeight(tab), window_->isVisible());
}

void PreferencesWindowController::stepTab(int by) {
    const auto count = static_cast<int>(kAllPreferenceTabs.size());
    const int next = (static_cast<int>(preferenceTab_) + by + count) % count;
    selectTab(kAllPreferenceTabs.at(static_cast<std::size_t>(next)));
}

void PreferencesWindowController::resizeTo(int height, bool animated) {
    heightAnimation_->stop();
    if (!animated || window_->height() == height) {
        window_->setContentHeight(height);
        return;
    }
    heightAnimation_->setStartValue(window_->height());
    heightAnimation_->setEndValue(height);
    heightAnimation_->start();
}

bool PreferencesWindowController::isResizing() const {
    return heightAnimation_->state() == QAbstractAnimation::Running;
}

void PreferencesWindowController::centre() {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    QRect frame = window_->frameGeometry();
    if (frame == window_->geometry()) {
        frame.setTop(frame.top() - kStandardTitleBarHeight);  // not framed yet: expect a title bar
    }
    frame.moveCenter(screen->availableGeometry().center());
    window_->move(frame.topLeft());
}

void PreferencesWindowController::generalToolbarItemPress() {
    selectTab(PreferenceTab::general);
}

void PreferencesWindowController::shortcutsToolbarItemPress() {
    selectTab(PreferenceTab::shortcuts);
}

void PreferencesWindowController::supportToolbarItemPress() {
    selectTab(PreferenceTab::support);
}

void PreferencesWindowController::aboutToolbarItemPress() {
    selectTab(PreferenceTab::about);
}

}  // namespace klosia
