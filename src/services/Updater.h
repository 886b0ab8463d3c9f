#pragma once

#include <QCoreApplication>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

#include "platform/ReleaseFeed.h"

namespace klosia {

// What one look at the release feed found, measured against the running version.
struct UpdateCheckResult {
    enum class Status { upToDate, newer, failed };

    Status status = Status::failed;
    QString currentVersion;  // the running program's
    Release latest;          // the feed's newest release (unless failed)
    QString error;           // why it failed

    // Where to read about the newer version and get it: its release notes, else its download,
    // else the program's web site.
    QUrl link() const;
};

// The update check: a quiet look at launch that says something only when there is a newer
// version, and the look the user asks for from the About tab, which always answers. Main thread
// only.
class Updater {
    Q_DECLARE_TR_FUNCTIONS(klosia::Updater)

public:
    using Notify = std::function<void(const QString& title, const QString& subtitle)>;
    using Done = std::function<void(const UpdateCheckResult&)>;

    // `currentVersion` is the running program's; `notify` posts a user notification.
    Updater(ReleaseFeed& feed, QString currentVersion, Notify notify);
    ~Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // False when no feed is configured: nothing ever looks for updates.
    bool isEnabled() const;

    // At launch: one notification with a link when the feed has a newer version; nothing when
    // the program is up to date; a failure is only logged.
    void checkForUpdatesInBackground();
    // Asked for by the user: `done` is told the outcome, once, later (also when the check is off).
    void checkForUpdates(Done done);

    // The outcome of a feed's answer for the running `currentVersion`. A version the feed gives
    // that is not a number sequence, or a running version that is not one, is a failure.
    static UpdateCheckResult evaluate(const ReleaseFeedReply& reply, const QString& currentVersion);

    // The texts of the launch notification for a newer release.
    static QString notificationTitle(const UpdateCheckResult& result);
    static QString notificationSubtitle(const UpdateCheckResult& result,
                                        const QString& currentVersion);

private:
    ReleaseFeed& feed_;
    QString currentVersion_;
    Notify notify_;
    // Answers of the feed hold a weak reference: they are dropped once this object is gone.
    std::shared_ptr<Updater*> self_;
};

}  // namespace klosia
