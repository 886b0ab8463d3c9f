#pragma once

namespace klosia {

// The desktop's own settings page for notifications.
class NotificationSettings {
public:
    virtual ~NotificationSettings() = default;

    // Opens it. False when this desktop has none that is known, or it could not be started;
    // the implementation logs why.
    virtual bool open() = 0;
};

}  // namespace klosia
