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
    // $XDG_RUNTIME_DIR when it is an absolute path; otherwise a directory of our own under the
    // system's temporary directory, created private (0700) and used only when we own it. Empty
    // when no such directory can be had.
    static QString runtimeDir();
};

}  // namespace klosia
