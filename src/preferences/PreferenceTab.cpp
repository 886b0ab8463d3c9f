#include "preferences/PreferenceTab.h"

namespace klosia {

QString rawValue(PreferenceTab tab) {
    switch (tab) {
        case PreferenceTab::general:
            return QStringLiteral("General");
        case PreferenceTab::shortcuts:
            return QStringLiteral("Shortcut");
        case PreferenceTab::support:
            return QStringLiteral("Support");
        case PreferenceTab::about:
            return QStringLiteral("About");
    }
    return {};
}

std::optional<PreferenceTab> preferenceTabFromRawValue(const QString& raw) {
    for (PreferenceTab tab : kAllPreferenceTabs) {
        if (rawValue(tab) == raw) {
            return tab;
        }
    }
    return std::nullopt;
}

int windowHeight(PreferenceTab tab) {
    switch (tab) {
        case PreferenceTab::general:
            return 425;
        case PreferenceTab::shortcuts:
            return 295;
        case PreferenceTab::support:
            return 219;
        case PreferenceTab::about:
            return 210;
    }
    return 425;
}

}  // namespace klosia
