#include "ui/Translucency.h"

#include <QWidget>

namespace klosia {

namespace {

// QWidget::destroy() is protected; the menu and the alerts derive from different widget classes,
// so the helper reaches it through a member pointer taken in a class of its own.
struct NativeWindow : QWidget {
    using QWidget::destroy;
};

void destroyNativeWindow(QWidget& window) {
    void (QWidget::*destroy)(bool, bool) = &NativeWindow::destroy;
    (window.*destroy)(true, true);
}

}  // namespace

void setTranslucent(QWidget& window, bool translucent) {
    if (translucent == isTranslucent(window)) {
        return;
    }
    if (window.testAttribute(Qt::WA_WState_Created) && !window.isVisible()) {
        destroyNativeWindow(window);
    }
    window.setAttribute(Qt::WA_TranslucentBackground, translucent);
    // Translucent or not, the windows paint every pixel themselves.
    window.setAttribute(Qt::WA_NoSystemBackground);
}

bool isTranslucent(const QWidget& window) {
    return window.testAttribute(Qt::WA_TranslucentBackground);
}

}  // namespace klosia
