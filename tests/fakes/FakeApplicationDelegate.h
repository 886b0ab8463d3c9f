#pragma once

#include <QString>

#include <utility>
#include <vector>

#include "services/ApplicationDelegate.h"

namespace klosia::test {

// Stands in for the program's application delegate while it lives: records the notifications
// the views ask for (title, subtitle) and counts the other requests.
class FakeApplicationDelegate final : public ApplicationDelegate {
public:
    FakeApplicationDelegate() { ApplicationDelegate::setCurrent(this); }
    ~FakeApplicationDelegate() override {
        if (ApplicationDelegate::current() == this) {
            ApplicationDelegate::setCurrent(nullptr);
        }
    }
    FakeApplicationDelegate(const FakeApplicationDelegate&) = delete;
    FakeApplicationDelegate& operator=(const FakeApplicationDelegate&) = delete;

    void showNotification(const QString& title, const QString& subtitle) override {
        notifications.emplace_back(title, subtitle);
    }
    void performMenu() override {
        ++menuToggles;
        calls.emplace_back(QStringLiteral("performMenu"));
    }
    void openPreferences() override {
        ++preferencesOpenings;
        calls.emplace_back(QStringLiteral("openPreferences"));
    }
    void closeMenu() override {
        ++menuClosings;
        calls.emplace_back(QStringLiteral("closeMenu"));
    }

    std::vector<std::pair<QString, QString>> notifications;
    // The requests other than notifications, in order.
    std::vector<QString> calls;
    int menuToggles = 0;
    int preferencesOpenings = 0;
    int menuClosings = 0;
};

}  // namespace klosia::test
