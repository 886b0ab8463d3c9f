#pragma once

namespace klosia {

// Told when the pointer enters and leaves an enabled HoverButton.
class HoverButtonDelegate {
public:
    virtual ~HoverButtonDelegate() = default;
    virtual void hoverButtonDidEnter() = 0;
    virtual void hoverButtonDidExit() = 0;
};

}  // namespace klosia
