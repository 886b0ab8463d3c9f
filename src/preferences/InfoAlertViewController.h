#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class InfoAlertView;
}

namespace klosia {

class InfoAlertWindowController;

// The information alert's content: an image, a title, a message and one button, the texts given
// by whoever opens it.
class InfoAlertViewController : public QWidget {
    Q_OBJECT

public:
    explicit InfoAlertViewController(QWidget* parent = nullptr);
    ~InfoAlertViewController() override;

    // Shown as plain text: no markup, and an "&" in the caption is an "&", not a key.
    void setTexts(const QString& title, const QString& message, const QString& button);

    QString title() const;
    QString message() const;
    QString buttonTitle() const;

    void infoButtonPress();

    // The window controller that shows this content; set by it. Not owned.
    InfoAlertWindowController* infoAlertWindowController = nullptr;

private:
    std::unique_ptr<Ui::InfoAlertView> ui_;
};

}  // namespace klosia
