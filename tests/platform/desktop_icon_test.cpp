#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>

#include "platform/helpers/ScopedEnv.h"
#include "platform/linux/DesktopEntries.h"

namespace klosia {
namespace {

using test::ScopedEnv;

TEST(DesktopIconTest, PathsNamesAndNothing) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(qRgba(0, 0, 255, 255));
    const QString png = temp.filePath(QStringLiteral("blue.png"));
    ASSERT_TRUE(image.save(png));

    const QIcon fromPath = iconFor(png);
    ASSERT_FALSE(fromPath.isNull());
    EXPECT_EQ(fromPath.pixmap(16, 16).toImage().pixel(8, 8), qRgba(0, 0, 255, 255));

    QFile garbage(temp.filePath(QStringLiteral("garbage.png")));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("not an image at all");
    garbage.close();
    EXPECT_TRUE(iconFor(garbage.fileName()).isNull());
    EXPECT_TRUE(iconFor(temp.filePath(QStringLiteral("absent.png"))).isNull());
    EXPECT_TRUE(iconFor(QStringLiteral("relative/blue.png")).isNull());
    EXPECT_TRUE(iconFor(QString()).isNull());
    EXPECT_TRUE(iconFor(QStringLiteral("klosia-no-such-icon-anywhere")).isNull());

    // A theme name found in hicolor or pixmaps of the data directories, with or without a
    // legacy suffix, also when the platform names no icon theme.
    ASSERT_TRUE(QDir().mkpath(temp.filePath(QStringLiteral("data/icons/hicolor/48x48/apps"))));
    ASSERT_TRUE(QDir().mkpath(temp.filePath(QStringLiteral("data/pixmaps"))));
    ASSERT_TRUE(image.scaled(48, 48).save(
        temp.filePath(QStringLiteral("data/icons/hicolor/48x48/apps/klosia-test-themed.png"))));
    ASSERT_TRUE(image.save(temp.filePath(QStringLiteral("data/pixmaps/klosia-test-legacy.png"))));
    const ScopedEnv dataDirs("XDG_DATA_DIRS",
                             QFile::encodeName(temp.filePath(QStringLiteral("data"))));
    EXPECT_FALSE(iconFor(QStringLiteral("klosia-test-themed")).isNull());
    EXPECT_FALSE(iconFor(QStringLiteral("klosia-test-themed.png")).isNull());
    EXPECT_FALSE(iconFor(QStringLiteral("klosia-test-legacy")).isNull());
}

}  // namespace
}  // namespace klosia
