#pragma once

#include <QDialog>
#include <QUrl>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace klosia {

struct UpdateCheckResult;

// The small window that tells what a check for updates asked for from the About tab found: that
// Klosia is up to date, that a newer version is out (its notes, and a button that opens its
// page), or why the check failed. Not modal; Escape or its button closes it.
class UpdateCheckWindow : public QDialog {
    Q_OBJECT

public:
    explicit UpdateCheckWindow(QWidget* parent = nullptr);

    // Fills the window for `result` and shows it in front.
    void showResult(const UpdateCheckResult& result);

    QLabel* titleView() const { return title_; }
    QLabel* messageView() const { return message_; }
    QPlainTextEdit* notesView() const { return notes_; }
    // Opens the newer version's page; hidden unless there is one.
    QPushButton* linkButton() const { return link_; }
    QUrl link() const { return url_; }

    void linkBtPress();

private:
    QLabel* title_;
    QLabel* message_;
    QPlainTextEdit* notes_;
    QPushButton* link_;
    QPushButton* close_;
    QUrl url_;
};

}  // namespace klosia
