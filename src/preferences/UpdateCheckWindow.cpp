#include "preferences/UpdateCheckWindow.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "services/Updater.h"

namespace klosia {

namespace {

constexpr int kWidth = 380;
constexpr int kTitlePixelSize = 15;
constexpr int kNotesHeight = 110;

}  // namespace

UpdateCheckWindow::UpdateCheckWindow(QWidget* parent)
    : QDialog(parent),
      title_(new QLabel(this)),
      message_(new QLabel(this)),
      notes_(new QPlainTextEdit(this)),
      link_(new QPushButton(this)),
      close_(new QPushButton(tr("OK"), this)) {
    setObjectName(QStringLiteral("updateCheckWindow"));
    setWindowTitle(tr("Software Update"));
    setFixedWidth(kWidth);

    QFont titleFont = font();
    titleFont.setPixelSize(kTitlePixelSize);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    title_->setWordWrap(true);
    // Texts from the network are shown as they are, never as markup.
    title_->setTextFormat(Qt::PlainText);
    message_->setTextFormat(Qt::PlainText);
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notes_->setReadOnly(true);
    notes_->setFixedHeight(kNotesHeight);
    notes_->setAccessibleName(tr("Release notes"));
    link_->setAutoDefault(false);
    close_->setDefault(true);
    close_->setAccessibleName(tr("Close"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(link_);
    buttons->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 16);
    layout->setSpacing(8);
    layout->addWidget(title_);
    layout->addWidget(message_);
    layout->addWidget(notes_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(link_, &QAbstractButton::clicked, this, &UpdateCheckWindow::linkBtPress);
    connect(close_, &QAbstractButton::clicked, this, &QDialog::accept);
}

void UpdateCheckWindow::showResult(const UpdateCheckResult& result) {
    url_ = QUrl();
    notes_->clear();
    switch (result.status) {
        case UpdateCheckResult::Status::upToDate:
            title_->setText(tr("Klosia is up to date"));
            message_->setText(tr("Version %1 is the newest version.").arg(result.currentVersion));
            break;
        case UpdateCheckResult::Status::newer:
            url_ = result.link();
            title_->setText(tr("Klosia %1 is available").arg(result.latest.version));
            message_->setText(tr("You have version %1.").arg(result.currentVersion));
            notes_->setPlainText(result.latest.notes);
            link_->setText(result.latest.releaseNotesLink.isEmpty() &&
                                   !result.latest.downloadLink.isEmpty()
                               ? tr("&Download…")
                               : tr("&Read More and Download…"));
            link_->setToolTip(url_.toString());
            break;
        case UpdateCheckResult::Status::failed:
            title_->setText(tr("The update check failed"));
            message_->setText(result.error);
            break;
    }
    notes_->setVisible(!result.latest.notes.isEmpty() &&
                       result.status == UpdateCheckResult::Status::newer);
    link_->setVisible(!url_.isEmpty());
    setAccessibleName(title_->text());
    adjustSize();
    show();
    raise();
    activateWindow();
    close_->setFocus(Qt::OtherFocusReason);
}

void UpdateCheckWindow::linkBtPress() {
    if (!url_.isEmpty()) {
        QDesktopServices::openUrl(url_);
    }
}

}  // namespace klosia
