#pragma once

namespace klosia {

// What the menu window controller asks of the application that owns the status icon.
class MenuWindowControllerDelegate {
public:
    virtual ~MenuWindowControllerDelegate() = default;

    // The status icon shows whether the menu is open. The controller clears it as the menu
    // starts to close, whatever closed it (the icon, a press elsewhere, Escape).
    virtual void setStatusItemHighlighted(bool highlighted) = 0;
};

}  // namespace klosia
