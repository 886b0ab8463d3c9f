#include "platform/linux/ReleaseFeedDocument.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/ReleaseVersion.h"

namespace klosia {

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("klosia::ReleaseFeedDocument", text);
}

QUrl webLink(const QJsonValue& value) {
    QUrl url(value.toString(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http"))) {
        return {};
    }
    return url;
}

}  // namespace

ReleaseFeedReply ReleaseFeedDocument::parse(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        return {.latest = std::nullopt,
                .error = tr("The release feed is not valid JSON (%1 at byte %2).")
                             .arg(error.errorString())
                             .arg(error.offset)};
    }
    const QJsonValue releases = document.object().value(QLatin1String("releases"));
    if (!document.isObject() || !releases.isArray()) {
        return {.latest = std::nullopt, .error = tr("The release feed has no list of releases.")};
    }

    std::optional<Release> latest;
    std::optional<ReleaseVersion> latestVersion;
    for (const QJsonValue entry : releases.toArray()) {
        const QJsonObject object = entry.toObject();
        const std::optional<ReleaseVersion> version =
            ReleaseVersion::parse(object.value(QLatin1String("version")).toString());
        if (!version || (latestVersion && *version <= *latestVersion)) {
            continue;
        }
        latestVersion = version;
        latest = Release{
            .version = version->toString(),
            .notes = object.value(QLatin1String("notes")).toString().left(kMaximumNotes),
            .releaseNotesLink = webLink(object.value(QLatin1String("releaseNotesLink"))),
            .downloadLink = webLink(object.value(QLatin1String("downloadLink"))),
        };
    }
    if (!latest) {
        return {.latest = std::nullopt, .error = tr("The release feed lists no release.")};
    }
    return {.latest = latest, .error = QString()};
}

}  // namespace klosia
