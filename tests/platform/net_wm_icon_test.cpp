#include <gtest/gtest.h>
#include <QIcon>
#include <QImage>
#include <QSize>

#include <cstdint>
#include <vector>

#include "platform/x11/NetWmIcon.h"

namespace klosia {
namespace {

// Appends one image of the property: its size and `width * height` pixels of `fill`.
void appendImage(std::vector<std::uint32_t>& property, std::uint32_t width, std::uint32_t height,
                 std::uint32_t fill) {
    property.push_back(width);
    property.push_back(height);
    property.insert(property.end(), static_cast<std::size_t>(width) * height, fill);
}

TEST(NetWmIconTest, PicksTheNearestSizeAndKeepsArgb) {
    std::vector<std::uint32_t> property;
    appendImage(property, 16, 16, 0xFF00FF00U);
    appendImage(property, 32, 32, 0xFF0000FFU);
    property[2 + 16 * 16 + 2 + 1] = 0x80FF0000U;  // 32x32 image, pixel (1, 0): half-opaque red
    appendImage(property, 48, 16, 0xFFFFFFFFU);   // wide: its larger side counts

    const auto pick = [&](int preferred) {
        return netWmIconImage(property.data(), property.size(), preferred);
    };
    EXPECT_EQ(pick(16).size(), QSize(16, 16));
    EXPECT_EQ(pick(20).size(), QSize(16, 16));
    EXPECT_EQ(pick(24).size(), QSize(32, 32));  // a tie goes to the larger image
    EXPECT_EQ(pick(33).size(), QSize(32, 32));
    EXPECT_EQ(pick(64).size(), QSize(48, 16));
    EXPECT_EQ(pick(0).size(), QSize(48, 16));

    const QImage image = pick(32);
    EXPECT_EQ(image.format(), QImage::Format_ARGB32);
    EXPECT_EQ(image.pixel(1, 0), 0x80FF0000U);
    EXPECT_EQ(qAlpha(image.pixel(1, 0)), 0x80);
    EXPECT_EQ(qRed(image.pixel(1, 0)), 0xFF);
    EXPECT_EQ(image.pixel(0, 0), 0xFF0000FFU);
    EXPECT_EQ(image.pixel(31, 31), 0xFF0000FFU);
    EXPECT_EQ(pick(16).pixel(15, 15), 0xFF00FF00U);

    const QIcon icon = netWmIcon(property.data(), property.size());
    ASSERT_FALSE(icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    EXPECT_EQ(sizes.size(), 3);
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
}

TEST(NetWmIconTest, MalformedPropertiesYieldWhatWasValid) {
    std::vector<std::uint32_t> property;
    appendImage(property, 16, 16, 0xFF112233U);
    std::vector<std::uint32_t> truncated = property;
    appendImage(truncated, 32, 32, 0xFF445566U);
    truncated.resize(truncated.size() - 1);  // one pixel short
    EXPECT_EQ(netWmIconImage(truncated.data(), truncated.size(), 32).size(), QSize(16, 16));
    EXPECT_EQ(netWmIcon(truncated.data(), truncated.size()).availableSizes().size(), 1);

    // A bad header after a good image ends the walk there; bad ones first leave nothing.
    // Each is followed by as many pixels as a reader without the checks would take, so only
    // the checks themselves can reject it.
    struct Bad {
        std::vector<std::uint32_t> header;
        std::size_t pixels;
    };
    const std::vector<Bad> badHeaders = {
        {{0, 16}, 16},                    // width 0
        {{16, 0}, 16},                    // height 0
        {{100000, 1}, 100000},            // absurd width, all its pixels present
        {{1, 1025}, 1025},                // just over the cap
        {{0xFFFFFFFFU, 0xFFFFFFFFU}, 1},  // product is 1 in 32-bit arithmetic
        {{0x10000U, 0x10000U}, 4},        // product is 0 in 32-bit arithmetic
        {{1024, 1024}, 1000},             // allowed size, too few pixels
        {{16}, 0},                        // half a header
    };
    for (const Bad& bad : badHeaders) {
        std::vector<std::uint32_t> alone = bad.header;
        alone.insert(alone.end(), bad.pixels, 0xFF000000U);
        EXPECT_TRUE(netWmIconImage(alone.data(), alone.size(), 16).isNull()) << bad.header[0];
        EXPECT_TRUE(netWmIcon(alone.data(), alone.size()).isNull()) << bad.header[0];
        std::vector<std::uint32_t> after = property;
        after.insert(after.end(), alone.begin(), alone.end());
        EXPECT_EQ(netWmIconImage(after.data(), after.size(), 64).size(), QSize(16, 16))
            << bad.header[0];
    }

    EXPECT_TRUE(netWmIconImage(property.data(), 0, 16).isNull());
    EXPECT_TRUE(netWmIconImage(nullptr, 100, 16).isNull());
    EXPECT_TRUE(netWmIcon(nullptr, 0).isNull());
    // The largest image the cap allows is still read.
    std::vector<std::uint32_t> largest;
    appendImage(largest, 1024, 1024, 0xFFABCDEFU);
    EXPECT_EQ(netWmIconImage(largest.data(), largest.size(), 16).size(), QSize(1024, 1024));
}

}  // namespace
}  // namespace klosia
