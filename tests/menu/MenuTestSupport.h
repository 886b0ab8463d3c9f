#pragma once

#include <QString>
#include <QStringList>

#include <algorithm>
#include <memory>
#include <vector>

#include "core/NotificationBus.h"
#include "fakes/FakeRunningApplication.h"
#include "model/MenuApp.h"

namespace klosia::test {

// Makes `bus` the program's default bus for as long as it lives.
class DefaultBusScope {
public:
    explicit DefaultBusScope(NotificationBus& bus) { NotificationBus::setDefaultCenter(&bus); }
    ~DefaultBusScope() { NotificationBus::setDefaultCenter(nullptr); }
    DefaultBusScope(const DefaultBusScope&) = delete;
    DefaultBusScope& operator=(const DefaultBusScope&) = delete;
};

// An entry named `name` ("org.example.<lower-cased name>") standing for `processes` fake
// processes with pids from `firstPid` on.
inline MenuAppPtr menuEntry(const QString& name, bool selected,
                            MenuAppPolicy policy = MenuAppPolicy::standard, int processes = 1,
                            pid_t firstPid = 0) {
    const QString identifier = QStringLiteral("org.example.") + name.toLower();
    std::vector<RunningApplicationPtr> apps;
    apps.reserve(static_cast<std::size_t>(std::max(0, processes)));
    for (int i = 0; i < processes; ++i) {
        apps.push_back(
            FakeRunningApplication::make(name, identifier, ActivationPolicy::regular,
                                         firstPid == 0 ? 0 : static_cast<pid_t>(firstPid + i)));
    }
    return std::make_shared<MenuApp>(selected, name, identifier, apps, policy);
}

// The fake behind process `index` of `entry`.
inline FakeRunningApplication& fakeProcess(const MenuAppPtr& entry, std::size_t index = 0) {
    return static_cast<FakeRunningApplication&>(*entry->apps.at(index));
}

inline QStringList entryNames(const std::vector<MenuAppPtr>& apps) {
    QStringList out;
    for (const MenuAppPtr& app : apps) {
        out << app->name;
    }
    return out;
}

}  // namespace klosia::test
