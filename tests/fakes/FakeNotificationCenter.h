#pragma once

#include <vector>

#include "platform/NotificationCenter.h"

namespace klosia::test {

// Records every request; the test answers the authorisation question and chooses whether
// posting fails. Answers are given inside the call (a test drives its own dispatcher).
class FakeNotificationCenter final : public NotificationCenter {
public:
    void requestAuthorization(AuthorizationHandler done) override {
        ++authorizationRequests;
        done(reachable, reachable ? QString() : unreachableReason);
    }
    void add(const NotificationRequest& request, CompletionHandler done) override {
        requests.push_back(request);
        done(addError);
    }

    bool reachable = true;
    QString unreachableReason = QStringLiteral("no notification server");
    QString addError;  // empty: posting succeeds
    int authorizationRequests = 0;
    std::vector<NotificationRequest> requests;
};

}  // namespace klosia::test
