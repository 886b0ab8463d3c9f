#include "platform/linux/HttpReleaseFeed.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include "core/AppInfo.h"
#include "platform/linux/ReleaseFeedDocument.h"

namespace klosia {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("klosia::HttpReleaseFeed", text);
}

bool isWebAddress(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() &&
           (scheme == QLatin1String("https") || scheme == QLatin1String("http"));
}

ReleaseFeedReply failure(const QString& error) {
    return {.latest = std::nullopt, .error = error};
}

}  // namespace

HttpReleaseFeed::HttpReleaseFeed(QUrl address) : address_(std::move(address)) {}

HttpReleaseFeed::~HttpReleaseFeed() = default;

bool HttpReleaseFeed::isEnabled() const {
    return !address_.isEmpty();
}

void HttpReleaseFeed::fetch(Done done) {
    // Answers always come later, never inside the call, whatever happens.
    auto answerLater = [&done](const ReleaseFeedReply& reply) {
        QTimer::singleShot(0, qApp, [done = std::move(done), reply] { done(reply); });
    };
    if (!isEnabled()) {
        answerLater(failure(tr("No release feed is configured.")));
        return;
    }
    if (!isWebAddress(address_)) {
        answerLater(failure(tr("The release feed address %1 is not an http or https address.")
                                .arg(address_.toString())));
        return;
    }
    if (!network_) {
        QNetworkProxyFactory::setUseSystemConfiguration(true);
        network_ = std::make_unique<QNetworkAccessManager>();
    }

    QNetworkRequest request(address_);
    request.setTransferTimeout(kTimeoutMilliseconds);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("%1/%2").arg(QLatin1String(appinfo::kName),
                                                  QLatin1String(appinfo::kVersion)));
    request.setRawHeader("Accept", "application/json");
    QNetworkReply* reply = network_->get(request);

    // A feed larger than any real one is a wrong address: stop reading it.
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                     [reply](qint64 received, qint64 total) {
                         if (received > kMaximumBytes || total > kMaximumBytes) {
                             reply->setProperty("klosiaTooLarge", true);
                             reply->abort();
                         }
                     });
    QObject::connect(reply, &QNetworkReply::finished, reply, [reply, done = std::move(done)] {
        reply->deleteLater();
        if (reply->property("klosiaTooLarge").toBool()) {
            done(failure(tr("The release feed is larger than %1 bytes.").arg(kMaximumBytes)));
            return;
        }
        if (reply->error() != QNetworkReply::NoError) {
            done(failure(tr("The release feed could not be read: %1").arg(reply->errorString())));
            return;
        }
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status != 200) {
            done(failure(
                tr("The release feed could not be read: the server answered %1.").arg(status)));
            return;
        }
        done(ReleaseFeedDocument::parse(reply->read(kMaximumBytes + 1)));
    });
}

}  // namespace klosia
