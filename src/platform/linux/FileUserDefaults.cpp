#include "platform/linux/FileUserDefaults.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QVariant>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/AppInfo.h"
#include "log/Vezizur.h"
#include "platform/linux/AtomicFile.h"
#include "platform/linux/XdgPaths.h"

namespace klosia {

namespace {

constexpr std::int64_t kFormat = 1;
const QString kFormatKey = QStringLiteral("format");
const QString kValuesKey = QStringLiteral("values");
const QString kDataKey = QStringLiteral("data");
// Far beyond any settings this program writes; a bigger file is not ours.
constexpr qsizetype kMaxFileSize = qsizetype{64} * 1024 * 1024;

QString errorText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// JSON numbers without fraction or exponent that fit in 64 bits are kept as integers by Qt's
// parser; everything else is a double and not one of our values.
bool isInteger(const QJsonValue& value) {
    return value.isDouble() && value.toVariant().typeId() == QMetaType::LongLong;
}

std::optional<DefaultsValue> decodeValue(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Bool:
            return DefaultsValue{value.toBool()};
        case QJsonValue::Double:
            if (isInteger(value)) {
                return DefaultsValue{static_cast<std::int64_t>(value.toInteger())};
            }
            return std::nullopt;
        case QJsonValue::String:
            return DefaultsValue{value.toString()};
        case QJsonValue::Object: {
            const QJsonObject object = value.toObject();
            const QJsonValue encoded = object.value(kDataKey);
            if (object.size() != 1 || !encoded.isString()) {
                return std::nullopt;
            }
            auto decoded = QByteArray::fromBase64Encoding(encoded.toString().toLatin1(),
                                                          QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded) {
                return std::nullopt;
            }
            return DefaultsValue{std::move(decoded.decoded)};
        }
        default:
            return std::nullopt;
    }
}

QJsonValue encodeValue(const DefaultsValue& value) {
    return std::visit(
        [](const auto& held) -> QJsonValue {
            using T = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<T, QByteArray>) {
                return QJsonObject{{kDataKey, QString::fromLatin1(held.toBase64())}};
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return QJsonValue(static_cast<qint64>(held));
            } else {
                return QJsonValue(held);
            }
        },
        value);
}

enum class ReadResult { ok, missing, failed };

// Reads the whole file; `error` holds the reason when it failed.
ReadResult readFile(const QString& path, QByteArray& content, QString& error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        // ENOTDIR: a parent is not a directory, so the file cannot exist either.
        if (errno == ENOENT || errno == ENOTDIR) {
            return ReadResult::missing;
        }
        error = errorText(errno);
        return ReadResult::failed;
    }
    content.clear();
    char buffer[65536];
    while (true) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errorText(errno);
            ::close(fd);
            return ReadResult::failed;
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, got);
        if (content.size() > kMaxFileSize) {
            break;  // judged as damaged by the caller
        }
    }
    ::close(fd);
    return ReadResult::ok;
}

// Renames `from` to `to` unless `to` exists. False with errno set otherwise.
bool renameNoReplace(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // The file system cannot refuse to replace; check first instead.
    if (::access(to.constData(), F_OK) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.constData(), to.constData()) == 0;
}

}  // namespace

FileUserDefaults::FileUserDefaults(QString path) : path_(std::move(path)) {
    load();
}

QString FileUserDefaults::defaultPath() {
    return XdgPaths::configHome() + QLatin1Char('/') + QLatin1String(appinfo::kApplicationId) +
           QStringLiteral(".json");
}

void FileUserDefaults::load() {
    QByteArray content;
    QString error;
    switch (readFile(path_, content, error)) {
        case ReadResult::missing:
            return;
        case ReadResult::failed:
            blockedReason_ = QStringLiteral(
                                 "settings file %1 cannot be read (%2); leaving it "
                                 "untouched and keeping settings in memory only")
                                 .arg(path_, error);
            lastFailure_ = blockedReason_;
            logger.log(blockedReason_, VezizurLevel::error);
            return;
        case ReadResult::ok:
            break;
    }
    if (content.size() > kMaxFileSize) {
        setAside(QStringLiteral("larger than %1 bytes").arg(kMaxFileSize));
        return;
    }

    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(content, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        setAside(QStringLiteral("not JSON: %1 at byte %2")
                     .arg(parseError.errorString())
                     .arg(parseError.offset));
        return;
    }
    if (!document.isObject()) {
        setAside(QStringLiteral("not a JSON object"));
        return;
    }
    const QJsonObject root = document.object();
    const QJsonValue format = root.value(kFormatKey);
    if (!isInteger(format) || format.toInteger() != kFormat) {
        setAside(QStringLiteral("no \"format\" %1").arg(kFormat));
        return;
    }
    const QJsonValue values = root.value(kValuesKey);
    if (!values.isObject()) {
        setAside(QStringLiteral("no \"values\" object"));
        return;
    }

    const QJsonObject members = values.toObject();
    for (auto it = members.begin(); it != members.end(); ++it) {
        if (auto value = decodeValue(it.value())) {
            values_.emplace(it.key(), std::move(*value));
        } else {
            unknown_.insert(it.key(), it.value());
            logger.log(QStringLiteral("settings file %1: value of \"%2\" has an unknown form; "
                                      "ignored and kept as it is")
                           .arg(path_, it.key()),
                       VezizurLevel::warning);
        }
    }
}

void FileUserDefaults::setAside(const QString& reason) {
    const QByteArray from = QFile::encodeName(path_);
    const QString base = path_ + QStringLiteral(".damaged-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString aside = base;
    int code = 0;
    for (int n = 1; n <= 1000; ++n) {
        if (renameNoReplace(from, QFile::encodeName(aside))) {
            logger.log(QStringLiteral("settings file %1 is damaged (%2); moved it to %3 and "
                                      "starting with empty settings")
                           .arg(path_, reason, aside),
                       VezizurLevel::error);
            return;
        }
        code = errno;
        if (code != EEXIST) {
            break;
        }
        aside = base + QStringLiteral("-%1").arg(n);
    }
    blockedReason_ = QStringLiteral(
                         "settings file %1 is damaged (%2) and could not be moved to "
                         "%3 (%4); starting with empty settings and not writing over it")
                         .arg(path_, reason, aside, errorText(code));
    lastFailure_ = blockedReason_;
    logger.log(blockedReason_, VezizurLevel::error);
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
        ++generation_;
    }
}

void FileUserDefaults::remove(const QString& key) {
    const std::lock_guard lock(mutex_);
    const bool wasUnknown = unknown_.contains(key);
    unknown_.remove(key);
    if (values_.erase(key) > 0 || wasUnknown) {
        ++generation_;
    }
}

QByteArray FileUserDefaults::serialize() const {
    QJsonObject values = unknown_;
    for (const auto& [key, value] : values_) {
        values.insert(key, encodeValue(value));
    }
    const QJsonObject root{{kFormatKey, QJsonValue(static_cast<qint64>(kFormat))},
                           {kValuesKey, values}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

void FileUserDefaults::reportFailure(const QString& failure) {
    {
        const std::lock_guard lock(mutex_);
        if (failure == lastFailure_) {
            return;
        }
        lastFailure_ = failure;
    }
    logger.log(failure, VezizurLevel::error);
}

bool FileUserDefaults::synchronize() {
    const std::lock_guard writeLock(writeMutex_);
    QByteArray content;
    std::uint64_t generation = 0;
    QString blocked;
    {
        const std::lock_guard lock(mutex_);
        if (generation_ == savedGeneration_) {
            return true;
        }
        blocked = blockedReason_;
        if (blocked.isEmpty()) {
            content = serialize();
            generation = generation_;
        }
    }
    if (!blocked.isEmpty()) {
        reportFailure(blocked);
        return false;
    }

    QString error;
    if (!AtomicFile::write(path_, content, 0600, &error)) {
        reportFailure(QStringLiteral("cannot save settings to %1 (%2); keeping them in memory")
                          .arg(path_, error));
        return false;
    }
    bool recovered = false;
    {
        const std::lock_guard lock(mutex_);
        savedGeneration_ = generation;
        recovered = !lastFailure_.isEmpty();
        lastFailure_.clear();
    }
    if (recovered) {
        logger.log(QStringLiteral("settings saved to %1 again").arg(path_), VezizurLevel::info);
    }
    return true;
}

}  // namespace klosia
