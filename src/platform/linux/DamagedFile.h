#pragma once

#include <QString>

namespace klosia {

// Keeps a damaged file for the user instead of writing over it.
class DamagedFile {
public:
    // Renames `path` to "<path>.damaged-YYYYMMDD-HHMMSS[-N]", never replacing an existing file
    // (a second damaged file within the same second gets the next free N). On success `aside`
    // holds the new name; on failure `aside` is the name last tried and `error` says why.
    static bool moveAside(const QString& path, QString& aside, QString& error);
};

}  // namespace klosia
