#include <gtest/gtest.h>

#include "menu/MenuGeometry.h"

using namespace klosia::menugeometry;

namespace {

const QSize kRoomy(1920, 1080);

// A 1280 x 800 screen with a 30-point panel along one edge.
const QRect kScreen(0, 0, 1280, 800);
const QRect kBelowTopPanel(0, 30, 1280, 770);
const QRect kAboveBottomPanel(0, 0, 1280, 770);
const QRect kRightOfLeftPanel(48, 0, 1232, 800);
const QRect kLeftOfRightPanel(0, 0, 1232, 800);
const QSize kMenu(298, 216);

}  // namespace

TEST(MenuWindowSize, WidestTitlePlusRowAndRowsPlusHeaderAndFooter) {
    EXPECT_EQ(windowSize({100.4, 20, 99}, kRoomy), QSize(298, 216))
        << "ceiling of 102.4 is 103, plus 195; 3 rows of 27 plus 135";
    EXPECT_EQ(windowSize({}, kRoomy), QSize(270, 135));
    EXPECT_EQ(windowSize({101.0}, kRoomy).width(), 298) << "exactly 103 needs no rounding up";
    EXPECT_EQ(windowSize({101.01}, kRoomy).width(), 299);
}

TEST(MenuWindowSize, ClampedTo270Through440AndToTheAvailableArea) {
    EXPECT_EQ(windowSize({10}, kRoomy).width(), 270) << "short titles";
    EXPECT_EQ(windowSize({242.9}, kRoomy).width(), 440);
    EXPECT_EQ(windowSize({900}, kRoomy).width(), 440) << "a very long name";
    EXPECT_EQ(windowSize(std::vector<qreal>(40, 50.0), QSize(1280, 770)).height(), 770)
        << "40 rows need 1215, more than the screen offers";
    EXPECT_EQ(windowSize({50}, QSize(200, 100)), QSize(200, 100)) << "a tiny screen";
}

TEST(MenuPanelEdge, StripOutsideTheAvailableAreaNamesThePanel) {
    EXPECT_EQ(panelEdge({1260, 15}, kScreen, kBelowTopPanel), PanelEdge::top);
    EXPECT_EQ(panelEdge({1260, 785}, kScreen, kAboveBottomPanel), PanelEdge::bottom);
    EXPECT_EQ(panelEdge({24, 700}, kScreen, kRightOfLeftPanel), PanelEdge::left);
    EXPECT_EQ(panelEdge({1256, 400}, kScreen, kLeftOfRightPanel), PanelEdge::right);
    EXPECT_EQ(panelEdge({20, 15}, kScreen, QRect(48, 30, 1232, 770)), PanelEdge::top)
        << "a corner shared by a top and a left panel goes to the top one";
}

TEST(MenuPanelEdge, WithoutReservedSpaceTheNearestScreenEdgeWins) {
    EXPECT_EQ(panelEdge({640, 10}, kScreen, kScreen), PanelEdge::top);
    EXPECT_EQ(panelEdge({640, 790}, kScreen, kScreen), PanelEdge::bottom);
    EXPECT_EQ(panelEdge({5, 400}, kScreen, kScreen), PanelEdge::left);
    EXPECT_EQ(panelEdge({1275, 400}, kScreen, kScreen), PanelEdge::right);
    EXPECT_EQ(panelEdge({1280 + 640, 795}, QRect(1280, 0, 1280, 800), QRect(1280, 0, 1280, 800)),
              PanelEdge::bottom)
        << "a second screen to the right of the first";
}

TEST(MenuWindowOrigin, OpensAwayFromThePanelCentredOnTheIcon) {
    EXPECT_EQ(windowOrigin(kMenu, {640, 15}, kScreen, kBelowTopPanel), QPoint(491, 30))
        << "below a 30-point top panel: the 25-point rule would overlap it";
    EXPECT_EQ(windowOrigin(kMenu, {640, 10}, kScreen, QRect(0, 20, 1280, 780)), QPoint(491, 25))
        << "below a 20-point top panel: 25 under the top of the screen";
    EXPECT_EQ(windowOrigin(kMenu, {640, 785}, kScreen, kAboveBottomPanel), QPoint(491, 770 - 216))
        << "above a bottom panel";
    EXPECT_EQ(windowOrigin(kMenu, {24, 400}, kScreen, kRightOfLeftPanel), QPoint(48, 400 - 108))
        << "beside a left panel, centred on the icon vertically";
    EXPECT_EQ(windowOrigin(kMenu, {1256, 400}, kScreen, kLeftOfRightPanel),
              QPoint(1232 - 298, 400 - 108))
        << "beside a right panel";
}

TEST(MenuWindowOrigin, StaysInsideTheAvailableAreaAtScreenEdges) {
    EXPECT_EQ(windowOrigin(kMenu, {1270, 15}, kScreen, kBelowTopPanel), QPoint(1280 - 298, 30))
        << "icon in the top-right corner";
    EXPECT_EQ(windowOrigin(kMenu, {5, 785}, kScreen, kAboveBottomPanel), QPoint(0, 554))
        << "icon in the bottom-left corner";
    EXPECT_EQ(windowOrigin(kMenu, {24, 790}, kScreen, kRightOfLeftPanel), QPoint(48, 800 - 216))
        << "icon at the bottom of a left panel";
    EXPECT_EQ(windowOrigin(kMenu, {1256, 3}, kScreen, kLeftOfRightPanel), QPoint(934, 0))
        << "icon at the top of a right panel";
    const QRect second(1280, 0, 1280, 800);
    EXPECT_EQ(windowOrigin(kMenu, {1285, 785}, second, QRect(1280, 0, 1280, 770)),
              QPoint(1280, 554))
        << "a second screen: kept on it, not pushed onto the first";
    EXPECT_EQ(windowOrigin(QSize(298, 770), {640, 15}, kScreen, kBelowTopPanel), QPoint(491, 30))
        << "a window as tall as the free area fills it";
}
