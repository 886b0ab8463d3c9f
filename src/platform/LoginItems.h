#pragma once

namespace klosia {

// Whether the program starts when the user logs in.
class LoginItems {
public:
    virtual ~LoginItems() = default;
    virtual bool isEnabled() const = 0;
    // Best effort: a refused change is logged by the implementation, never raised.
    virtual void setEnabled(bool enabled) = 0;
};

}  // namespace klosia
