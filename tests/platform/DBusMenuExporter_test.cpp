#include <gtest/gtest.h>

#include "platform/linux/DBusMenuExporter.h"

namespace klosia {
namespace {

// A tray draws '_' as the mnemonic mark and "__" as an underscore; Qt writes '&' and "&&".
TEST(DBusMenuExporterTest, LabelsCarryTheMnemonicAsTheProtocolWritesIt) {
    EXPECT_EQ(DBusMenuExporter::labelOf(QStringLiteral("&Quit")), QStringLiteral("_Quit"));
    EXPECT_EQ(DBusMenuExporter::labelOf(QStringLiteral("Save && Close")),
              QStringLiteral("Save & Close"));
    EXPECT_EQ(DBusMenuExporter::labelOf(QStringLiteral("snake_case")),
              QStringLiteral("snake__case"));
    EXPECT_EQ(DBusMenuExporter::labelOf(QString()), QString());
}

}  // namespace
}  // namespace klosia
