#pragma once

#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

namespace klosia {

// One release a feed lists.
struct Release {
    QString version;        // as the feed writes it; a ReleaseVersion
    QString notes;          // what is new, plain text; may be empty
    QUrl releaseNotesLink;  // http or https, or empty
    QUrl downloadLink;      // http or https, or empty
};

// What reading the feed gave: its newest release, or what went wrong.
struct ReleaseFeedReply {
    std::optional<Release> latest;
    QString error;  // empty exactly when `latest` is set
};

// The published list of the program's releases, read over the network.
class ReleaseFeed {
public:
    using Done = std::function<void(const ReleaseFeedReply&)>;

    virtual ~ReleaseFeed() = default;

    // False when no feed address is configured: the update check is off.
    virtual bool isEnabled() const = 0;
    // Reads the feed and answers once, later, on the main thread. Main thread only.
    virtual void fetch(Done done) = 0;
};

}  // namespace klosia
