#pragma once

#include <QHash>

#include <mutex>

#include "platform/UserDefaults.h"

namespace klosia {

// User defaults kept in memory only: the fallback when no persistent store was installed.
class MemoryUserDefaults : public UserDefaults {
public:
    std::optional<DefaultsValue> object(const QString& key) const override;
    void set(const QString& key, const DefaultsValue& value) override;
    void remove(const QString& key) override;
    bool synchronize() override;

    QStringList keys() const;

private:
    mutable std::mutex mutex_;
    QHash<QString, DefaultsValue> values_;
};

// The standard user defaults of the program; set once at start-up (and by tests).
UserDefaults& standardUserDefaults();
void setStandardUserDefaults(UserDefaults* defaults);

}  // namespace klosia
