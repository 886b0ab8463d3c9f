#pragma once

#include <QStringList>

namespace klosia {

// Where the program's own sound files are: installed beside the program (share/klosia/sounds
// under its prefix), or, for a program run from the tree it was built in, in its sources.
class SoundFiles {
public:
    // Candidate directories, most specific first; some may not exist.
    static QStringList directories();
};

}  // namespace klosia
