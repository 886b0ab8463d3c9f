#include "app/NotYetPresent.h"

#include "log/Vezizur.h"

namespace klosia {

namespace {

void absent(const char* feature) {
    logger.log(std::string(feature) + " is not yet present", VezizurLevel::info);
}

}  // namespace

void NotYetPresent::openSettings() {
    absent("the settings alert");
}

void NotYetPresent::closeSettings() {
    absent("the settings alert");
}

void NotYetPresent::openInfo(const QString& title, const QString& /*message*/,
                             const QString& /*button*/) {
    logger.log("the information alert is not yet present (\"" + title + "\")", VezizurLevel::info);
}

void NotYetPresent::closeInfo() {
    absent("the information alert");
}

void NotYetPresent::checkForUpdatesInBackground() {
    absent("the update check");
}

}  // namespace klosia
