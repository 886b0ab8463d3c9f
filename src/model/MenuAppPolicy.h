#pragma once

#include <QString>

#include <optional>

namespace klosia {

// The standing choice for one application: its raw value is also its stored form.
enum class MenuAppPolicy {
    standard,  // the check box decides
    always,    // built checked, whatever the user unchecked before
    never,     // built unchecked
};

inline QString rawValue(MenuAppPolicy policy) {
    switch (policy) {
        case MenuAppPolicy::always:
            return QStringLiteral("Always");
        case MenuAppPolicy::never:
            return QStringLiteral("Never");
        case MenuAppPolicy::standard:
            break;
    }
    return QStringLiteral("Standard");
}

inline const char* caseName(MenuAppPolicy policy) {
    switch (policy) {
        case MenuAppPolicy::always:
            return "always";
        case MenuAppPolicy::never:
            return "never";
        case MenuAppPolicy::standard:
            break;
    }
    return "standard";
}

// Exact match only: "never" or " Never" is not a policy.
inline std::optional<MenuAppPolicy> menuAppPolicyFromRawValue(const QString& raw) {
    if (raw == QLatin1String("Standard")) {
        return MenuAppPolicy::standard;
    }
    if (raw == QLatin1String("Always")) {
        return MenuAppPolicy::always;
    }
    if (raw == QLatin1String("Never")) {
        return MenuAppPolicy::never;
    }
    return std::nullopt;
}

}  // namespace klosia
