#pragma once

#include "platform/Compositor.h"

namespace klosia::test {

// A desktop whose compositing manager the test switches on and off; counts the questions.
class FakeCompositor final : public Compositor {
public:
    bool isRunning() override {
        ++questions;
        return running;
    }

    bool running = false;
    int questions = 0;
};

}  // namespace klosia::test
