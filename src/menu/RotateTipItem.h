#pragma once

#include <QString>

#include "menu/RotateTipAction.h"

namespace klosia {

// One line of the menu's tips: its text, shown as it stands, and what a press on it does.
struct RotateTipItem {
    QString text;
    RotateTipAction action = RotateTipAction::none;

    bool operator==(const RotateTipItem&) const = default;
};

}  // namespace klosia
