#pragma once

#include <QString>

#include <chrono>

namespace klosia {

// An exclusive advisory lock (flock) on a lock file, held until release() or destruction.
// Cooperating writers of one file take the lock on the same lock file around their
// read-merge-write; the kernel drops it when a holder dies, so a crash never leaves it held.
class FileLock {
public:
    FileLock() = default;
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Opens `path` (created 0600 when missing; a symbolic link or a non-regular file there is
    // refused) and takes the lock, waiting up to `patience` while another process holds it.
    // A file system that cannot lock at all (some network mounts) is not an error: the file is
    // then used unlocked, as before such a lock existed. False with `error` set otherwise.
    bool acquire(const QString& path, std::chrono::milliseconds patience, QString& error);
    void release();

    // Whether the lock is held (false after acquire() on a file system without locks).
    bool held() const { return held_; }

private:
    int fd_ = -1;
    bool held_ = false;
};

}  // namespace klosia
