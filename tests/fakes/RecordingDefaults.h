#pragma once

#include "platform/MemoryUserDefaults.h"

namespace klosia::test {

// In-memory user defaults that count writes and can be told to fail them, as a full disk or a
// read-only home would.
class RecordingDefaults final : public MemoryUserDefaults {
public:
    void set(const QString& key, const DefaultsValue& value) override {
        ++sets;
        if (!failWrites) {
            MemoryUserDefaults::set(key, value);
        }
    }
    void remove(const QString& key) override {
        ++removes;
        MemoryUserDefaults::remove(key);
    }
    bool synchronize() override {
        ++synchronizations;
        return !failWrites;
    }

    bool failWrites = false;
    int sets = 0;
    int removes = 0;
    int synchronizations = 0;
};

}  // namespace klosia::test
