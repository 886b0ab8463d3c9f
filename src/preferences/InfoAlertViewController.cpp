#include "preferences/InfoAlertViewController.h"

#include "preferences/InfoAlertWindowController.h"
#include "resources/Resources.h"
#include "ui_InfoAlertView.h"

namespace klosia {

namespace {

constexpr int kImageSide = 64;
constexpr int kTitlePixelSize = 17;

}  // namespace

InfoAlertViewController::InfoAlertViewController(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::InfoAlertView>()) {
    ui_->setupUi(this);
    ui_->infoImageView->setPixmap(resources::pixmap(
        QStringLiteral("alert-info"), QSize(kImageSide, kImageSide), devicePixelRatioF()));
    QFont title = font();
    title.setPixelSize(kTitlePixelSize);
    title.setBold(true);
    ui_->infoTitleView->setFont(title);
    connect(ui_->infoButton, &QAbstractButton::clicked, this,
            &InfoAlertViewController::infoButtonPress);
}

InfoAlertViewController::~InfoAlertViewController() = default;

void InfoAlertViewController::setTexts(const QString& title, const QString& message,
                                       const QString& button) {
    ui_->infoTitleView->setText(title);
    ui_->infoMessageView->setText(message);
    ui_->infoButton->setText(QString(button).replace(QLatin1Char('&'), QStringLiteral("&&")));
    ui_->infoButton->setAccessibleName(button);
    ui_->infoMessageView->setAccessibleName(message);
    setAccessibleName(title);
}

QString InfoAlertViewController::title() const {
    return ui_->infoTitleView->text();
}

QString InfoAlertViewController::message() const {
    return ui_->infoMessageView->text();
}

QString InfoAlertViewController::buttonTitle() const {
    return ui_->infoButton->accessibleName();
}

void InfoAlertViewController::infoButtonPress() {
    if (infoAlertWindowController != nullptr) {
        infoAlertWindowController->closeInfo();
    }
}

}  // namespace klosia
