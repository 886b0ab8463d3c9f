#pragma once

#include <QString>

#include <optional>

namespace klosia {

enum class QuitOption { quit, force };

inline QString rawValue(QuitOption option) {
    return option == QuitOption::force ? QStringLiteral("Force Quit")
                                       : QStringLiteral("Normal Quit");
}

inline const char* caseName(QuitOption option) {
    return option == QuitOption::force ? "force" : "quit";
}

inline std::optional<QuitOption> quitOptionFromRawValue(const QString& raw) {
    if (raw == QLatin1String("Normal Quit")) {
        return QuitOption::quit;
    }
    if (raw == QLatin1String("Force Quit")) {
        return QuitOption::force;
    }
    return std::nullopt;
}

}  // namespace klosia
