#include <gtest/gtest.h>
#include <QColor>

#include "menu/MenuBackground.h"
#include "resources/Resources.h"

using namespace klosia;

TEST(MenuBackground, TopEdgeIsCutFromTheMiddleOfTheStrip) {
    EXPECT_EQ(MenuBackground::topEdgeSource(300), QRectF(890, 0, 220, 40));
    EXPECT_EQ(MenuBackground::topEdgeSource(270), QRectF(905, 0, 190, 40));
    EXPECT_EQ(MenuBackground::topEdgeSource(440), QRectF(820, 0, 360, 40));
    EXPECT_EQ(MenuBackground::topEdgeSource(298.5), QRectF(890.75, 0, 218.5, 40));
    EXPECT_TRUE(MenuBackground::topEdgeSource(60).isEmpty()) << "narrower than the corners";
    EXPECT_EQ(MenuBackground::topEdgeSource(5000), QRectF(0, 0, 2000, 40))
        << "never past the strip";
}

TEST(MenuBackground, NinePartsAreCompiledInAndMakeARoundedShape) {
    for (int part = 1; part <= 9; ++part) {
        EXPECT_TRUE(resources::hasImage(MenuBackground::partName(part)))
            << MenuBackground::partName(part).toStdString();
    }
    const QImage shape = MenuBackground::shapeImage(QSize(300, 216));
    ASSERT_EQ(shape.size(), QSize(300, 216));
    auto alpha = [&shape](int x, int y) { return qAlpha(shape.pixel(x, y)); };
    EXPECT_EQ(alpha(0, 0), 0) << "rounded top-left corner";
    EXPECT_EQ(alpha(299, 0), 0);
    EXPECT_EQ(alpha(0, 215), 0);
    EXPECT_EQ(alpha(299, 215), 0);
    // Every part, edges and centre included, is filled: no seams or holes between them.
    for (const QPoint p : {QPoint(20, 1), QPoint(150, 0), QPoint(260, 1), QPoint(0, 108),
                           QPoint(150, 108), QPoint(299, 108), QPoint(150, 215), QPoint(40, 40),
                           QPoint(259, 175), QPoint(39, 0), QPoint(260, 0)}) {
        EXPECT_EQ(alpha(p.x(), p.y()), 255) << p.x() << "," << p.y();
    }

    const QImage doubled = MenuBackground::shapeImage(QSize(300, 216), 2.0);
    EXPECT_EQ(doubled.size(), QSize(600, 432)) << "rendered at the screen's pixel ratio";
    EXPECT_EQ(qAlpha(doubled.pixel(300, 216)), 255);
}

TEST(MenuBackground, TintKeepsTheShape) {
    const QImage shape = MenuBackground::shapeImage(QSize(270, 135));
    const QImage tinted = MenuBackground::tinted(shape, QColor(10, 200, 30));
    EXPECT_EQ(tinted.pixelColor(135, 60), QColor(10, 200, 30));
    EXPECT_EQ(qAlpha(tinted.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(tinted.pixel(2, 2)), qAlpha(shape.pixel(2, 2))) << "antialiased rim";
}
