#include "platform/linux/FileUserDefaults.h"

#include <QFileInfo>

#include <chrono>
#include <cstdio>
#include <utility>
#include <vector>

#include "core/AppInfo.h"
#include "core/Dispatcher.h"
#include "log/Vezizur.h"
#include "platform/linux/AtomicFile.h"
#include "platform/linux/DamagedFile.h"
#include "platform/linux/DefaultsCodec.h"
#include "platform/linux/FileLock.h"
#include "platform/linux/RegularFile.h"
#include "platform/linux/XdgPaths.h"

namespace klosia {

namespace {

// Far beyond any settings this program writes; a bigger file is not ours.
constexpr qsizetype kMaxFileSize = qsizetype{64} * 1024 * 1024;
// Another writer holds the lock only for one write; this long means it is stuck.
constexpr std::chrono::milliseconds kLockPatience{5000};

// Problems with the settings go to standard error as well as to the log: the shipped logger
// writes nothing, and a user whose settings are not kept must be able to find out why (the
// journal records standard error of programs started at login).
void tellUser(const QString& text, VezizurLevel level = VezizurLevel::error) {
    logger.log(text, level);
    const QByteArray line =
        QStringLiteral("%1: %2\n").arg(QLatin1String(appinfo::kExecutable), text).toLocal8Bit();
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stderr);
    std::fflush(stderr);
}

QString cannotSave(const QString& path, const QString& reason) {
    return QStringLiteral("cannot save settings to %1 (%2); keeping them in memory")
        .arg(path, reason);
}

}  // namespace

FileUserDefaults::FileUserDefaults(QString path, Access access)
    : path_(std::move(path)), access_(access) {
    load();
}

QString FileUserDefaults::defaultPath() {
    return XdgPaths::configHome() + QLatin1Char('/') + QLatin1String(appinfo::kApplicationId) +
           QStringLiteral(".json");
}

QString FileUserDefaults::lockPath() const {
    return path_ + QStringLiteral(".lock");
}

void FileUserDefaults::load() {
    const RegularFile::Result file = RegularFile::read(path_, kMaxFileSize);
    QString damage = file.error;
    std::optional<QJsonObject> members;
    switch (file.status) {
        case RegularFile::Status::missing:
            return;
        case RegularFile::Status::unreadable:
            tellUser(QStringLiteral("settings file %1 cannot be read (%2); leaving it untouched "
                                    "and keeping settings in memory only")
                         .arg(path_, file.error));
            return;
        case RegularFile::Status::notRegular:
        case RegularFile::Status::tooLarge:
            break;
        case RegularFile::Status::ok:
            members = DefaultsCodec::parseFile(file.content, damage);
            break;
    }
    if (!members) {
        if (access_ == Access::readOnly) {
            tellUser(QStringLiteral("settings file %1 is damaged (%2); reading it as empty "
                                    "settings and leaving it as it is")
                         .arg(path_, damage));
        } else {
            setAside(damage, "starting with empty settings", nullptr);
        }
        return;
    }

    QStringList unknown;
    {
        const std::lock_guard lock(mutex_);
        lastSeen_ = file.content;
        for (auto it = members->begin(); it != members->end(); ++it) {
            placeLocked(it.key(), it.value());
            if (unknown_.contains(it.key())) {
                unknown.append(it.key());
            }
        }
    }
    for (const QString& key : unknown) {
        logger.log(QStringLiteral("settings file %1: value of \"%2\" has an unknown form; "
                                  "ignored and kept as it is")
                       .arg(path_, key),
                   VezizurLevel::warning);
    }
}

bool FileUserDefaults::setAside(const QString& reason, const char* outcome, QString* failure) {
    QString aside;
    QString error;
    if (DamagedFile::moveAside(path_, aside, error)) {
        tellUser(QStringLiteral("settings file %1 is damaged (%2); moved it to %3 and %4")
                     .arg(path_, reason, aside, QLatin1String(outcome)));
        return true;
    }
    if (failure != nullptr) {
        // No name with a time in it: the same failure must read the same on the next attempt.
        *failure = cannotSave(
            path_,
            QStringLiteral("it is damaged (%1) and cannot be moved aside: %2").arg(reason, error));
    } else {
        tellUser(QStringLiteral("settings file %1 is damaged (%2) and could not be moved to %3 "
                                "(%4); starting with empty settings and not writing over it")
                     .arg(path_, reason, aside, error));
    }
    return false;
}

void FileUserDefaults::placeLocked(const QString& key, const QJsonValue& member) {
    if (auto value = DefaultsCodec::decode(member)) {
        unknown_.remove(key);
        values_.insert_or_assign(key, std::move(*value));
    } else {
        values_.erase(key);
        unknown_.insert(key, member);
    }
}

void FileUserDefaults::mergeLocked(const QJsonObject& members) {
    std::vector<QString> removed;
    for (const auto& [key, value] : values_) {
        if (!members.contains(key) && !changed_.contains(key)) {
            removed.push_back(key);
        }
    }
    for (const QString& key : unknown_.keys()) {
        if (!members.contains(key) && !changed_.contains(key)) {
            removed.push_back(key);
        }
    }
    for (const QString& key : removed) {
        values_.erase(key);
        unknown_.remove(key);
    }
    for (auto it = members.begin(); it != members.end(); ++it) {
        if (!changed_.contains(it.key())) {
            placeLocked(it.key(), it.value());
        }
    }
}

QJsonObject FileUserDefaults::membersLocked() const {
    QJsonObject members = unknown_;
    for (const auto& [key, value] : values_) {
        members.insert(key, DefaultsCodec::encode(value));
    }
    return members;
}

void FileUserDefaults::markChangedLocked(const QString& key) {
    changed_.insert_or_assign(key, ++generation_);
}

std::optional<DefaultsValue> FileUserDefaults::object(const QString& key) const {
    const std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

void FileUserDefaults::set(const QString& key, const DefaultsValue& value) {
    const std::lock_guard lock(mutex_);
    bool changed = unknown_.contains(key);
    unknown_.remove(key);
    const auto [it, inserted] = values_.try_emplace(key, value);
    if (!inserted && !(it->second == value)) {
        it->second = value;
        changed = true;
    }
    if (changed || inserted) {
        markChangedLocked(key);
    }
}

void FileUserDefaults::remove(const QString& key) {
    const std::lock_guard lock(mutex_);
    const bool wasUnknown = unknown_.contains(key);
    unknown_.remove(key);
    if (values_.erase(key) > 0 || wasUnknown) {
        markChangedLocked(key);
    }
}

void FileUserDefaults::setSaveFailureHandler(SaveFailureHandler handler) {
    const std::lock_guard lock(mutex_);
    saveFailureHandler_ = std::move(handler);
}

bool FileUserDefaults::save(QString& failure) {
    {
        const std::lock_guard lock(mutex_);
        if (changed_.empty()) {
            return true;
        }
        if (access_ == Access::readOnly) {
            return false;
        }
    }
    QString error;
    if (!AtomicFile::makeDirectories(QFileInfo(path_).absolutePath(), 0700, &error)) {
        failure = cannotSave(path_, error);
        return false;
    }
    FileLock fileLock;
    if (!fileLock.acquire(lockPath(), kLockPatience, error)) {
        failure = cannotSave(path_, error);
        return false;
    }

    // Under the lock no cooperating writer can replace the file until ours is in place.
    const RegularFile::Result file = RegularFile::read(path_, kMaxFileSize);
    std::optional<QJsonObject> onDisk;  // the file's members, when they are to be merged
    std::optional<QByteArray> seen;
    QString damage = file.error;
    switch (file.status) {
        case RegularFile::Status::missing:
            onDisk = QJsonObject();
            break;
        case RegularFile::Status::unreadable:
            failure = cannotSave(path_, QStringLiteral("it cannot be read: %1").arg(file.error));
            return false;
        case RegularFile::Status::notRegular:
        case RegularFile::Status::tooLarge:
            break;
        case RegularFile::Status::ok: {
            seen = file.content;
            bool unchanged = false;
            {
                const std::lock_guard lock(mutex_);
                unchanged = lastSeen_ == seen;
            }
            // Parsed only when someone else wrote it; our own last write needs no merge.
            onDisk = unchanged ? QJsonObject() : DefaultsCodec::parseFile(file.content, damage);
            break;
        }
    }
    if (!onDisk) {
        // Whoever damaged it, it is kept aside, and this object's values (all of them, as the
        // damaged file says nothing about what to remove) take its place.
        if (!setAside(damage, "writing the current settings in its place", &failure)) {
            return false;
        }
        seen.reset();
    }

    QByteArray content;
    std::uint64_t generation = 0;
    {
        const std::lock_guard lock(mutex_);
        if (onDisk && lastSeen_ != seen) {
            mergeLocked(*onDisk);
        }
        lastSeen_ = seen;
        content = DefaultsCodec::serializeFile(membersLocked());
        generation = generation_;
    }
    if (!AtomicFile::write(path_, content, 0600, &error)) {
        failure = cannotSave(path_, error);
        return false;
    }
    {
        const std::lock_guard lock(mutex_);
        lastSeen_ = content;
        std::erase_if(changed_,
                      [generation](const auto& entry) { return entry.second <= generation; });
    }
    return true;
}

FileUserDefaults::~FileUserDefaults() {
    flush();
}

void FileUserDefaults::saveInBackground(Dispatcher* dispatcher) {
    flush();
    const std::lock_guard lock(saveMutex_);
    background_ = dispatcher;
}

bool FileUserDefaults::synchronize() {
    std::unique_lock lock(saveMutex_);
    if (background_ == nullptr) {
        lock.unlock();
        return synchronizeNow();
    }
    saveWanted_ = true;
    if (!saveRunning_) {
        saveRunning_ = true;
        background_->background([this] { runSaves(); });
    }
    return lastSaved_;
}

void FileUserDefaults::runSaves() {
    std::unique_lock lock(saveMutex_);
    while (saveWanted_) {
        saveWanted_ = false;
        lock.unlock();
        const bool saved = synchronizeNow();
        lock.lock();
        lastSaved_ = saved;
    }
    saveRunning_ = false;
    saveDone_.notify_all();
}

void FileUserDefaults::flush() {
    std::unique_lock lock(saveMutex_);
    saveDone_.wait(lock, [this] { return !saveRunning_; });
}

bool FileUserDefaults::isSaving() const {
    const std::lock_guard lock(saveMutex_);
    return saveRunning_;
}

bool FileUserDefaults::synchronizeNow() {
    QString failure;
    bool saved = false;
    bool tell = false;
    bool recovered = false;
    SaveFailureHandler handler;
    {
        const std::lock_guard writeLock(writeMutex_);
        saved = save(failure);
        const std::lock_guard lock(mutex_);
        if (saved) {
            recovered = !lastFailure_.isEmpty();
            lastFailure_.clear();
        } else if (!failure.isEmpty() && failure != lastFailure_) {
            lastFailure_ = failure;
            tell = true;
            handler = saveFailureHandler_;
        }
    }
    if (tell) {
        tellUser(failure);
        if (handler) {
            handler(failure);
        }
    }
    if (recovered) {
        tellUser(QStringLiteral("settings saved to %1 again").arg(path_), VezizurLevel::info);
    }
    return saved;
}

}  // namespace klosia
