#pragma once

#include <vector>

#include "platform/LoginItems.h"

namespace klosia::test {

// Start-at-login state in memory, with the history of every write.
class FakeLoginItems final : public LoginItems {
public:
    bool isEnabled() const override { return enabled; }
    void setEnabled(bool value) override {
        enabled = value;
        writes.push_back(value);
    }

    bool enabled = false;
    std::vector<bool> writes;
};

}  // namespace klosia::test
