#pragma once

#include <optional>

#include "model/MenuApp.h"
#include "model/MenuAppPolicy.h"

namespace klosia {

// What a row of the menu reports: from the row to the menu view, which passes it on to the
// window controller.
class MenuViewCellDelegate {
public:
    virtual ~MenuViewCellDelegate() = default;

    // The row's check box changed.
    virtual void didCheck(const MenuAppPtr& app, bool selected) = 0;
    // The pointer is over the quit button of row `index`, or over none.
    virtual void didHover(std::optional<int> index) = 0;
    // The user chose a standing policy for the row's application.
    virtual void didChangePolicy(const MenuAppPtr& app, MenuAppPolicy policy) = 0;
};

}  // namespace klosia
