#include "services/Updater.h"

#include "core/AppInfo.h"
#include "core/ReleaseVersion.h"
#include "log/Vezizur.h"

namespace klosia {

QUrl UpdateCheckResult::link() const {
    if (!latest.releaseNotesLink.isEmpty()) {
        return latest.releaseNotesLink;
    }
    if (!latest.downloadLink.isEmpty()) {
        return latest.downloadLink;
    }
    return QUrl(QString::fromUtf8(appinfo::kWebSite));
}

Updater::Updater(ReleaseFeed& feed, QString currentVersion, Notify notify)
    : feed_(feed),
      currentVersion_(std::move(currentVersion)),
      notify_(std::move(notify)),
      self_(std::make_shared<Updater*>(this)) {}

Updater::~Updater() {
    *self_ = nullptr;
}

bool Updater::isEnabled() const {
    return feed_.isEnabled();
}

UpdateCheckResult Updater::evaluate(const ReleaseFeedReply& reply, const QString& currentVersion) {
    UpdateCheckResult result;
    result.currentVersion = currentVersion;
    if (!reply.latest) {
        result.error = reply.error.isEmpty() ? tr("The release feed gave no answer.") : reply.error;
        return result;
    }
    result.latest = *reply.latest;
    const std::optional<ReleaseVersion> latest = ReleaseVersion::parse(reply.latest->version);
    const std::optional<ReleaseVersion> running = ReleaseVersion::parse(currentVersion);
    if (!latest) {
        result.error = tr("The release feed names a version that is not a number: %1")
                           .arg(reply.latest->version);
        return result;
    }
    if (!running) {
        result.error = tr("This version of Klosia (%1) cannot be compared.").arg(currentVersion);
        return result;
    }
    result.status =
        *latest > *running ? UpdateCheckResult::Status::newer : UpdateCheckResult::Status::upToDate;
    return result;
}

QString Updater::notificationTitle(const UpdateCheckResult& result) {
    return tr("Klosia %1 is available").arg(result.latest.version);
}

QString Updater::notificationSubtitle(const UpdateCheckResult& result,
                                      const QString& currentVersion) {
    // Plain text with the address in it: every notification server shows it, and those that
    // find links in the text let the user open or copy it.
    return tr("You have %1. Read more and download it at %2")
        .arg(currentVersion, result.link().toString(QUrl::FullyEncoded));
}

void Updater::checkForUpdatesInBackground() {
    if (!feed_.isEnabled()) {
        logger.log("update check: off, no release feed configured", VezizurLevel::info);
        return;
    }
    logger.log("update check: in the background", VezizurLevel::info);
    std::weak_ptr<Updater*> weak = self_;
    feed_.fetch([weak](const ReleaseFeedReply& reply) {
        const std::shared_ptr<Updater*> alive = weak.lock();
        if (!alive || *alive == nullptr) {
            return;
        }
        Updater& self = **alive;
        const UpdateCheckResult result = evaluate(reply, self.currentVersion_);
        switch (result.status) {
            case UpdateCheckResult::Status::failed:
                logger.log("update check failed: " + result.error, VezizurLevel::error);
                break;
            case UpdateCheckResult::Status::upToDate:
                logger.log("update check: up to date (" + result.latest.version + ")",
                           VezizurLevel::info);
                break;
            case UpdateCheckResult::Status::newer:
                logger.log("update check: version " + result.latest.version + " is available",
                           VezizurLevel::info);
                if (self.notify_) {
                    self.notify_(notificationTitle(result),
                                 notificationSubtitle(result, self.currentVersion_));
                }
                break;
        }
    });
}

void Updater::checkForUpdates(Done done) {
    std::weak_ptr<Updater*> weak = self_;
    feed_.fetch([weak, done = std::move(done)](const ReleaseFeedReply& reply) {
        const std::shared_ptr<Updater*> alive = weak.lock();
        if (!alive || *alive == nullptr || !done) {
            return;
        }
        const UpdateCheckResult result = evaluate(reply, (*alive)->currentVersion_);
        if (result.status == UpdateCheckResult::Status::failed) {
            logger.log("update check failed: " + result.error, VezizurLevel::error);
        }
        done(result);
    });
}

}  // namespace klosia
