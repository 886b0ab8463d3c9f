#pragma once

#include <QString>

namespace klosia {

// Per-user base directories of the XDG base-directory rules.
class XdgPaths {
public:
    // $XDG_CONFIG_HOME when it is set to an absolute path, otherwise ~/.config. A relative value
    // is ignored, as the rules require.
    static QString configHome();
    // $HOME, or the home directory of the user database when HOME is unset or empty.
    static QString home();
};

}  // namespace klosia
