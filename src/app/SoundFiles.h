#pragma once

#include <QStringList>

namespace klosia {

// Where the program's own sound files are: installed beside the program (share/klosia/sounds
// under its prefix), else in the source tree it was built from.
class SoundFiles {
public:
    // Candidate directories, most specific first; some may not exist.
    static QStringList directories();
};

}  // namespace klosia
