#pragma once

#include <QString>

#include "settings/QuitOption.h"

namespace klosia {

// What a press on the main button or on a row's quit button does: the preferred mode, turned
// round while Alt is held. The main button's title names it, so the title never lies.
class MenuQuitMode {
public:
    MenuQuitMode() = delete;

    // Force exactly when "the preference is force" differs from "Alt is held".
    static bool isForce(QuitOption option, bool alternate);

    // The main button's title: " Klosia" (with its leading space) or "Force Klosia" when every
    // shown entry is checked, "Quit Selected" or "Force Quit Selected" otherwise.
    static QString klosiaTitle(QuitOption option, bool all, bool alternate);

    // What a screen reader says for that button: the title is a brand name, this says what it
    // does.
    static QString klosiaAccessibleName(QuitOption option, bool all, bool alternate);
};

}  // namespace klosia
