#include "menu/MenuQuitMode.h"

#include <QCoreApplication>

#include <QCoreApplication>

namespace klosia {

bool MenuQuitMode::isForce(QuitOption option, bool alternate) {
    return (option == QuitOption::force) != alternate;
}

QString MenuQuitMode::klosiaTitle(QuitOption option, bool all, bool alternate) {
    const bool force = isForce(option, alternate);
    if (all) {
        return force ? QCoreApplication::translate("klosia::MenuQuitMode", "Force Klosia")
                     : QCoreApplication::translate("klosia::MenuQuitMode", " Klosia");
    }
    return force ? QCoreApplication::translate("klosia::MenuQuitMode", "Force Quit Selected")
                 : QCoreApplication::translate("klosia::MenuQuitMode", "Quit Selected");
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
