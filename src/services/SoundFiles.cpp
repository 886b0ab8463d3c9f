#include "services/SoundFiles.h"

#include <QCoreApplication>
#include <QDir>

namespace klosia {

namespace {

bool insideBuildTree(const QString& programDirectory) {
    const QString build = QDir::cleanPath(QStringLiteral(KLOSIA_BUILD_DIR));
    const QString program = QDir::cleanPath(programDirectory);
    return program == build || program.startsWith(build + QLatin1Char('/'));
}

}  // namespace

QStringList SoundFiles::directories() {
    const QString source = QStringLiteral(KLOSIA_SOUNDS_SOURCE_DIR);
    if (QCoreApplication::instance() == nullptr) {
        // Only a library test gets here: it was built beside the sources.
        return {source};
    }
    const QString programDirectory = QCoreApplication::applicationDirPath();
    // A program built here and not installed plays the files of its own sources. An installed one
    // never does, even when the tree it was built in is still there: a package built in /tmp must
    // not depend on what is left there, and sounds remade in a clone are not the installed ones.
    if (insideBuildTree(programDirectory)) {
        return {source};
    }
    // Relative to the program first, so an installation moved as a whole finds its own files.
    QStringList result{
        QDir::cleanPath(
            QDir(programDirectory).filePath(QStringLiteral(KLOSIA_SOUNDS_RELATIVE_DIR))),
        QStringLiteral(KLOSIA_SOUNDS_INSTALL_DIR)};
    result.removeDuplicates();
    return result;
}

}  // namespace klosia
