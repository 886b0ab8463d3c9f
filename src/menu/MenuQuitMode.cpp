#include "menu/MenuQuitMode.h"

#include <QCoreApplication>

namespace klosia {

bool MenuQuitMode::isForce(QuitOption option, bool alternate) {
    return (option == QuitOption::force) != alternate;
}

QString MenuQuitMode::klosiaTitle(QuitOption option, bool all, bool alternate) {
    const bool force = isForce(option, alternate);
    if (all) {
        return force ? QStringLiteral("Force Klosia") : QStringLiteral(" Klosia");
    }
    return force ? QStringLiteral("Force Quit Selected") : QStringLiteral("Quit Selected");
}

QString MenuQuitMode::klosiaAccessibleName(QuitOption option, bool all, bool alternate) {
    const bool force = isForce(option, alternate);
    if (all) {
        return force ? QCoreApplication::translate("MenuQuitMode", "Force quit all applications")
                     : QCoreApplication::translate("MenuQuitMode", "Quit all applications");
    }
    return force ? QCoreApplication::translate("MenuQuitMode", "Force quit checked applications")
                 : QCoreApplication::translate("MenuQuitMode", "Quit checked applications");
}

}  // namespace klosia
