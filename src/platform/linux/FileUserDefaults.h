#pragma once

#include <QJsonObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

#include "platform/UserDefaults.h"

namespace klosia {

class Dispatcher;

// The user defaults kept in one JSON file (its form: DefaultsCodec).
//
// Loaded once on construction. A missing file means empty defaults. A file whose content is
// damaged (not JSON, not that shape, an unknown format, too large, or a FIFO, socket or device
// at the path) is renamed to "<name>.damaged-YYYYMMDD-HHMMSS[-N]" and the defaults start empty,
// so the next write cannot destroy it. A file that exists but cannot be read (permissions, a
// directory, I/O error) is left where it is and never written over: the defaults stay in memory
// and synchronize() reports false until it can be read. Members of an unknown shape inside a
// good file are kept untouched and written back, so a newer program's values survive a round
// through this one.
//
// Several writers share the file: another instance of this program, or a person with an editor.
// synchronize() takes an advisory lock on "<name>.lock" beside the file, reads the file again
// and, when it changed since this object last read or wrote it, merges: keys this object did not
// change take the file's value (also a removal), keys it changed keep its own value; the merged
// result becomes this object's view and is written. So of two writers changing one key, the one
// that writes last wins, and neither loses a key the other changed.
//
// In read-only mode nothing on disk is ever touched: a damaged file reads as empty defaults and
// stays where it is, and synchronize() writes nothing and returns false.
//
// All members may be called from any thread.
class FileUserDefaults : public UserDefaults {
public:
    enum class Access { readWrite, readOnly };

    explicit FileUserDefaults(QString path, Access access = Access::readWrite);
    // Waits for the saves asked for in the background.
    ~FileUserDefaults() override;
    FileUserDefaults(const FileUserDefaults&) = delete;
    FileUserDefaults& operator=(const FileUserDefaults&) = delete;

    // $XDG_CONFIG_HOME/<application id>.json, with ~/.config when XDG_CONFIG_HOME is unset or
    // relative.
    static QString defaultPath();

    const QString& path() const { return path_; }
    // The file the writers of `path()` lock; it stays in place between writes.
    QString lockPath() const;

    std::optional<DefaultsValue> object(const QString& key) const override;
    void set(const QString& key, const DefaultsValue& value) override;
    void remove(const QString& key) override;
    // Merges with the file and writes it atomically when something changed in memory since the
    // last successful write; true when the file holds this object's values afterwards. In the
    // background (saveInBackground), asks for such a save and answers whether the last one that
    // finished succeeded.
    bool synchronize() override;

    // From now on synchronize() saves on `dispatcher`'s background queue instead of on the
    // caller's thread: the GUI thread never waits for another writer's lock (up to 5 seconds)
    // or the disk. One save runs at a time, so they reach the disk in order; one asked for while
    // another runs writes what memory holds when it starts, so the last value wins and a burst of
    // changes costs a save or two. Failures reach the failure handler as before, once. The
    // dispatcher must outlive this object, or flush() must be called before it goes.
    void saveInBackground(Dispatcher* dispatcher);
    // Returns once every save asked for so far has run.
    void flush();
    // Whether a background save is asked for or running.
    bool isSaving() const;

    // Told about a failure to save once, with the same text that goes to standard error; again
    // only after a save succeeded or the failure changed. Called on the thread that called
    // synchronize(), after its locks are released, so it may call back into this object.
    using SaveFailureHandler = std::function<void(const QString& failure)>;
    void setSaveFailureHandler(SaveFailureHandler handler);

private:
    void load();
    // Takes the lock, merges with the file and writes; false with `failure` set when not saved.
    bool save(QString& failure);
    // Moves the damaged file aside; false with `failure` set when it could not be moved.
    bool setAside(const QString& reason, const char* outcome, QString* failure);
    // Takes the file's members for every key not changed here (caller holds mutex_).
    void mergeLocked(const QJsonObject& members);
    // Puts one member of the file into the view (caller holds mutex_).
    void placeLocked(const QString& key, const QJsonValue& member);
    QJsonObject membersLocked() const;
    void markChangedLocked(const QString& key);

    const QString path_;
    const Access access_;

    // Guards everything below. Held only briefly, never across file I/O, so readers on other
    // threads do not wait for a disk flush.
    mutable std::mutex mutex_;
    std::map<QString, DefaultsValue> values_;
    QJsonObject unknown_;
    // Keys changed here and not yet written, with the generation of their last change.
    std::map<QString, std::uint64_t> changed_;
    std::uint64_t generation_ = 0;
    // The file's content as this object last read or wrote it; nullopt while there is none.
    std::optional<QByteArray> lastSeen_;
    QString lastFailure_;  // the failure reported last, to report each one once
    SaveFailureHandler saveFailureHandler_;

    // Serialises synchronize() so that snapshots reach the disk in the order they were taken.
    std::mutex writeMutex_;

    bool synchronizeNow();
    void runSaves();

    // The background saves.
    mutable std::mutex saveMutex_;
    std::condition_variable saveDone_;
    Dispatcher* background_ = nullptr;
    bool saveRunning_ = false;
    bool saveWanted_ = false;
    bool lastSaved_ = true;
};

}  // namespace klosia
