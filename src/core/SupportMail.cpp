#include "core/SupportMail.h"

#include <QRegularExpression>

#include "core/AppInfo.h"

namespace klosia {

const QString SupportMail::kSubject = QStringLiteral("Klosia Support 🛟");
const QString SupportMail::kBody = QStringLiteral("Hi");

std::optional<QUrl> SupportMail::url(const QString& address, const QString& subject,
                                     const QString& body) {
    // Local part and domain of printable ASCII, without the characters that would end the
    // address or start a query, a fragment or another recipient.
    static const QRegularExpression plainAddress(
        QStringLiteral("^[A-Za-z0-9.!$'*+/=^_`{|}~-]+@[A-Za-z0-9.-]+$"));
    if (!plainAddress.match(address).hasMatch()) {
        return std::nullopt;
    }
    const QString text = QStringLiteral("mailto:") + address + QStringLiteral("?subject=") +
                         QString::fromLatin1(QUrl::toPercentEncoding(subject)) +
                         QStringLiteral("&body=") +
                         QString::fromLatin1(QUrl::toPercentEncoding(body));
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) {
        return std::nullopt;
    }
    return url;
}

std::optional<QUrl> SupportMail::url() {
    return url(QString::fromUtf8(appinfo::kSupportEmail));
}

}  // namespace klosia
