#pragma once

#include <QByteArray>
#include <QString>

namespace klosia {

// Reads a small file that must be a regular file, without ever blocking on what else may lie at
// its path: a FIFO with no writer, a terminal or another device is reported, not opened for a
// read that could wait forever.
class RegularFile {
public:
    enum class Status {
        ok,          // `content` holds the whole file
        missing,     // nothing there, or a symbolic link to nothing
        notRegular,  // a FIFO, socket or device; `error` says which
        tooLarge,    // more than the given size
        unreadable,  // a directory, no permission, an I/O error; `error` says which
    };

    struct Result {
        Status status = Status::missing;
        QByteArray content;
        QString error;
    };

    // Follows symbolic links, as a reader of the name would.
    static Result read(const QString& path, qsizetype maxSize);
};

}  // namespace klosia
