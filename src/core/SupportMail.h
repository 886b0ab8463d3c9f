#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace klosia {

// The message to support that the Support tab and the menu's help item start: a mailto address
// for the configured support address with the subject "Klosia Support 🛟" and the body "Hi".
class SupportMail {
public:
    SupportMail() = delete;

    static const QString kSubject;
    static const QString kBody;

    // "mailto:<address>?subject=<subject>&body=<body>", subject and body percent-encoded as UTF-8
    // (everything but letters, digits and "-._~" is escaped, so the subject's spaces become %20
    // and its emoji four escaped bytes, and no character of a text can end its field). Nothing
    // when `address` is not a plain address (one "@", no spaces, no character that would start
    // another part of the address), so a bad configuration never opens a wrong message.
    static std::optional<QUrl> url(const QString& address, const QString& subject = kSubject,
                                   const QString& body = kBody);
    // For the configured support address.
    static std::optional<QUrl> url();
};

}  // namespace klosia
