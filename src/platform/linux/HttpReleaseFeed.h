#pragma once

#include <QUrl>

#include <memory>

#include "platform/ReleaseFeed.h"

class QNetworkAccessManager;

namespace klosia {

// The release feed at an http or https address, read with Qt Network: system proxy settings,
// redirects that do not go from https to http, a transfer timeout, and a size limit, so that a
// wrong address cannot keep the program waiting or fill its memory.
class HttpReleaseFeed final : public ReleaseFeed {
public:
    static constexpr qint64 kMaximumBytes = qint64{1024} * 1024;
    static constexpr int kTimeoutMilliseconds = 30000;

    // An empty address switches the check off.
    explicit HttpReleaseFeed(QUrl address);
    ~HttpReleaseFeed() override;
    HttpReleaseFeed(const HttpReleaseFeed&) = delete;
    HttpReleaseFeed& operator=(const HttpReleaseFeed&) = delete;

    bool isEnabled() const override;
    void fetch(Done done) override;

    const QUrl& address() const { return address_; }

private:
    QUrl address_;
    std::unique_ptr<QNetworkAccessManager> network_;
};

}  // namespace klosia
