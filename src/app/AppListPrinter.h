#pragma once

#include <QString>

#include <vector>

#include "model/MenuApp.h"

namespace klosia {

// The menu's list as text for the command line: an aligned table, or a JSON array.
class AppListPrinter {
public:
    static QString table(const std::vector<MenuAppPtr>& apps);
    static QString json(const std::vector<MenuAppPtr>& apps);
};

}  // namespace klosia
