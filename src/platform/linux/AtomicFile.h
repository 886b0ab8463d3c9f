#pragma once

#include <QByteArray>
#include <QString>

namespace klosia {

// Replaces a whole file so that a crash or a kill at any moment leaves either the old or the
// new content under the name, never a torn mix: the content goes to a temporary file in the
// same directory, is flushed to disk, and is renamed over the target.
class AtomicFile {
public:
    // Writes `content` to `path` with the given permission bits (before the umask), creating
    // missing parent directories with 0700. A symbolic link at `path` is followed, so the file
    // it points to is replaced and the link stays, but only into an existing directory owned by
    // the writing user: a link into anyone else's directory (even a world-writable one such as
    // /tmp) is a failure. On failure returns false and, when `error` is given, says what failed;
    // the old file is then untouched and no temporary file remains.
    static bool write(const QString& path, const QByteArray& content, int permissions,
                      QString* error = nullptr);

    // Creates `directory` and its missing parents with the given permission bits.
    static bool makeDirectories(const QString& directory, int permissions,
                                QString* error = nullptr);

    // Whether `fileName` (no directory) is a temporary file that write() makes for `target`.
    // Left behind only by a process killed mid-write; never to be read as the target.
    static bool isTemporaryFor(const QString& fileName, const QString& target);
};

}  // namespace klosia
