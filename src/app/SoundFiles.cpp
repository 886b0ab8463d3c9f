#include "app/SoundFiles.h"

#include <QCoreApplication>
#include <QDir>

namespace klosia {

QStringList SoundFiles::directories() {
    QStringList result;
    // Relative to the program first, so a moved installation finds its own files.
    if (QCoreApplication::instance() != nullptr) {
        result << QDir::cleanPath(QDir(QCoreApplication::applicationDirPath())
                                      .filePath(QStringLiteral(KLOSIA_SOUNDS_RELATIVE_DIR)));
    }
    result << QStringLiteral(KLOSIA_SOUNDS_INSTALL_DIR) << QStringLiteral(KLOSIA_SOUNDS_SOURCE_DIR);
    result.removeDuplicates();
    return result;
}

}  // namespace klosia
