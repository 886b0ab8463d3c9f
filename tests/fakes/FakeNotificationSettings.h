#pragma once

#include "platform/NotificationSettings.h"

namespace klosia::test {

// Counts how often the desktop's notification settings were asked to open.
class FakeNotificationSettings final : public NotificationSettings {
public:
    bool open() override {
        ++opened;
        return known;
    }

    bool known = true;
    int opened = 0;
};

}  // namespace klosia::test
