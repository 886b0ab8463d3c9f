#pragma once

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <map>
#include <mutex>

#include "platform/UserDefaults.h"

namespace klosia {

// The user defaults kept in one JSON file:
//   {"format": 1, "values": {"key": value, ...}}
// where a value is a JSON Boolean, a JSON integer (64-bit), a JSON string, or {"data": base64}.
//
// Loaded once on construction. A missing file means empty defaults. A file whose content is
// damaged (not JSON, not that shape, an unknown format) is renamed to
// "<name>.damaged-YYYYMMDD-HHMMSS[-N]" and the defaults start empty, so the next write cannot
// destroy it. A file that exists but cannot be read (permissions, a directory, I/O error) is
// left where it is and never written over: the defaults stay in memory only and synchronize()
// reports false. Members of an unknown shape inside a good file are kept untouched and written
// back, so a newer program's values survive a round through this one.
//
// All members may be called from any thread.
class FileUserDefaults : public UserDefaults {
public:
    explicit FileUserDefaults(QString path);
    FileUserDefaults(const FileUserDefaults&) = delete;
    FileUserDefaults& operator=(const FileUserDefaults&) = delete;

    // $XDG_CONFIG_HOME/<application id>.json, with ~/.config when XDG_CONFIG_HOME is unset or
    // relative.
    static QString defaultPath();

    const QString& path() const { return path_; }

    std::optional<DefaultsValue> object(const QString& key) const override;
    void set(const QString& key, const DefaultsValue& value) override;
    void remove(const QString& key) override;
    // Writes the whole file atomically when something changed since the last successful write;
    // true when the file holds the current values afterwards.
    bool synchronize() override;

private:
    void load();
    // Renames a damaged file aside and logs it; on failure blocks writes over it.
    void setAside(const QString& reason);
    QByteArray serialize() const;
    void reportFailure(const QString& failure);

    const QString path_;

    // Guards everything below. Held only briefly, never across file I/O, so readers on other
    // threads do not wait for a disk flush.
    mutable std::mutex mutex_;
    std::map<QString, DefaultsValue> values_;
    QJsonObject unknown_;
    std::uint64_t generation_ = 0;       // count of changes made in memory
    std::uint64_t savedGeneration_ = 0;  // the generation the file holds
    QString blockedReason_;              // non-empty: the file on disk must not be replaced
    QString lastFailure_;                // the failure logged last, to log each one once

    // Serialises synchronize() so that snapshots reach the disk in the order they were taken.
    std::mutex writeMutex_;
};

}  // namespace klosia
