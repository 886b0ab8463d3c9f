#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <variant>

namespace klosia {

// One stored value: data, string, integer or Boolean. Absent keys are std::nullopt.
using DefaultsValue = std::variant<QByteArray, QString, std::int64_t, bool>;

// Typed values by key, kept by the platform for the user.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;

    virtual std::optional<DefaultsValue> object(const QString& key) const = 0;
    virtual void set(const QString& key, const DefaultsValue& value) = 0;
    virtual void remove(const QString& key) = 0;
    // Writes pending changes to storage; false when they could not be written (they stay in
    // memory and the program keeps running).
    virtual bool synchronize() = 0;

    // Typed reads: the value when it is stored with that type, otherwise nullopt.
    std::optional<QByteArray> data(const QString& key) const;
    std::optional<QString> string(const QString& key) const;
    std::optional<std::int64_t> integer(const QString& key) const;
    std::optional<bool> boolean(const QString& key) const;
};

}  // namespace klosia
