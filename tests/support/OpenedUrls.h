#pragma once

#include <QDesktopServices>
#include <QObject>
#include <QStringList>
#include <QUrl>

namespace klosia::test {

// Takes the addresses QDesktopServices would hand to the desktop.
class OpenedUrls : public QObject {
    Q_OBJECT

public:
    OpenedUrls() {
        for (const char* scheme : {"mailto", "https", "http", "file", "javascript"}) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), this, "open");
        }
    }
    ~OpenedUrls() override {
        for (const char* scheme : {"mailto", "https", "http", "file", "javascript"}) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
    }
    OpenedUrls(const OpenedUrls&) = delete;
    OpenedUrls& operator=(const OpenedUrls&) = delete;

    Q_INVOKABLE void open(const QUrl& url) { urls.append(url.toString(QUrl::FullyEncoded)); }

    QStringList urls;
};

}  // namespace klosia::test
