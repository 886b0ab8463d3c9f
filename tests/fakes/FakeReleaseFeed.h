#pragma once

#include <vector>

#include "platform/ReleaseFeed.h"

namespace klosia::test {

// A release feed the test answers itself: every fetch waits in `pending` until answer().
class FakeReleaseFeed final : public ReleaseFeed {
public:
    bool isEnabled() const override { return enabled; }
    void fetch(Done done) override {
        ++fetches;
        pending.push_back(std::move(done));
    }

    // Answers the oldest waiting fetch; false when none waits.
    bool answer(const ReleaseFeedReply& reply) {
        if (pending.empty()) {
            return false;
        }
        Done done = std::move(pending.front());
        pending.erase(pending.begin());
        done(reply);
        return true;
    }
    bool answerRelease(const QString& version, const QString& notes = QString(),
                       const QUrl& releaseNotesLink = QUrl(), const QUrl& downloadLink = QUrl()) {
        return answer({.latest = Release{.version = version,
                                         .notes = notes,
                                         .releaseNotesLink = releaseNotesLink,
                                         .downloadLink = downloadLink},
                       .error = QString()});
    }
    bool answerError(const QString& error) {
        return answer({.latest = std::nullopt, .error = error});
    }

    bool enabled = true;
    int fetches = 0;
    std::vector<Done> pending;
};

}  // namespace klosia::test
