#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <memory>

#include "core/Notification.h"

namespace Ui {
class PreferencesAboutView;
}

namespace klosia {

class Dispatcher;
class UpdateCheckWindow;
class Updater;
struct UpdateCheckResult;

// What the About tab shows: the configured values unless a test gives others. An empty entry
// leaves its label as it was.
struct AboutInfo {
    QString name;
    QString version;
    QString copyrightFormat;  // see CopyrightLine
    QString makerName;
    QString webSite;

    static AboutInfo configured();
};

// The About tab: the program's name, version and copyright line, a button to the maker's web
// site and one that looks for a newer version and shows what it found in a small window. Touches
// no setting.
class PreferencesAboutViewController : public QWidget {
    Q_OBJECT

public:
    // "⚡️ Version ": the lightning emoji in its emoji presentation, a space, "Version", a
    // space.
    static const QString kVersionPrefix;

    // `dispatcher` is the main queue that updateUI() is queued on.
    explicit PreferencesAboutViewController(Dispatcher& dispatcher, QWidget* parent = nullptr);
    ~PreferencesAboutViewController() override;

    // The update check the button starts; without one (or with the check off) the button says
    // that updates are not checked.
    void setUpdater(Updater* updater);
    void setAboutInfo(AboutInfo info);

    void preferencesDidChangedNotification(const Notification& notification);
    // Fills the labels from the information. Runs queued on the main queue.
    void updateUI();

    void aboutSayHiBtPress();
    void aboutCheckUpdatesBtPress();

    // The window with the last check's outcome; null before the first check.
    UpdateCheckWindow* updateCheckWindow() const;

private:
    void queueUpdateUI();
    void updateCheckButton();
    void showUpdateResult(const UpdateCheckResult& result);

    Dispatcher& dispatcher_;
    std::unique_ptr<Ui::PreferencesAboutView> ui_;
    AboutInfo info_;
    Updater* updater_ = nullptr;
    bool checking_ = false;
    QPointer<UpdateCheckWindow> updateCheckWindow_;
};

}  // namespace klosia
