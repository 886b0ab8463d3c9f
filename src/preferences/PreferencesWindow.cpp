#include "preferences/PreferencesWindow.h"

#include <QCloseEvent>

namespace klosia {

PreferencesWindow::PreferencesWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("PreferencesWindow"));
    setAccessibleName(tr("Preferences"));
    setFixedWidth(kWidth);
}

void PreferencesWindow::setContentHeight(int height) {
    setFixedSize(kWidth, height);
}

void PreferencesWindow::closeEvent(QCloseEvent* event) {
    // The window lives as long as the program; closing hides it. Hiding (unlike an accepted
    // close) also never counts as the last window closing.
    event->ignore();
    hide();
}

void PreferencesWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange ||
        event->type() == QEvent::ApplicationPaletteChange) {
        Q_EMIT paletteChanged();
    }
}

}  // namespace klosia
