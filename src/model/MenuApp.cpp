#include "model/MenuApp.h"

namespace klosia {

MenuApp::MenuApp(bool isSelected, QString appName, QString identifier,
                 std::vector<RunningApplicationPtr> processes, MenuAppPolicy appPolicy)
    : selected(isSelected),
      name(std::move(appName)),
      bundleIdentifier(std::move(identifier)),
      apps(std::move(processes)),
      policy(appPolicy) {}

QString MenuApp::title() const {
    if (apps.size() < 2) {
        return name;
    }
    return name + QStringLiteral(" (") + QString::number(apps.size()) + QLatin1Char(')');
}

}  // namespace klosia
