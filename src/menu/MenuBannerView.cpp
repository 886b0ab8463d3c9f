#include "menu/MenuBannerView.h"

#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace klosia {

namespace {

constexpr int kGap = 6;

}  // namespace

MenuBannerView::MenuBannerView(QWidget* parent)
    : QWidget(parent), label_(new QLabel(this)), button_(new QPushButton(this)) {
    label_->setWordWrap(true);
    label_->setTextFormat(Qt::PlainText);
    QFont small = label_->font();
    small.setPixelSize(11);
    label_->setFont(small);
    connect(button_, &QPushButton::clicked, this, [this] {
        if (press_) {
            press_();
        }
    });
    hide();
}

void MenuBannerView::setBanner(const QString& text, const QString& buttonTitle,
                               std::function<void()> press) {
    label_->setText(text);
    label_->setAccessibleName(text);
    button_->setText(buttonTitle);
    button_->setVisible(!buttonTitle.isEmpty());
    press_ = std::move(press);
    setVisible(!text.isEmpty());
    resizeEvent(nullptr);
}

void MenuBannerView::resizeEvent(QResizeEvent* /*event*/) {
    const int buttonWidth =
        button_->isVisibleTo(this) ? std::min(width() / 2, button_->sizeHint().width()) : 0;
    const int buttonHeight = std::min(height(), button_->sizeHint().height());
    button_->setGeometry(width() - buttonWidth, (height() - buttonHeight) / 2, buttonWidth,
                         buttonHeight);
    label_->setGeometry(0, 0, std::max(0, width() - buttonWidth - (buttonWidth > 0 ? kGap : 0)),
                        height());
}

}  // namespace klosia
