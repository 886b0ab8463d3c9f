#pragma once

#include <QIcon>
#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace klosia {

// The largest side of an image we read.
inline constexpr std::uint32_t kNetWmIconMaxSide = 1024;
// How much of the property we read, in 32-bit items: one image of the largest size with its two
// header items. A property holding more sizes is cut there; the images before the cut count.
inline constexpr std::uint32_t kNetWmIconMaxItems = 2 + kNetWmIconMaxSide * kNetWmIconMaxSide;

// _NET_WM_ICON is a list of images, each `width, height` followed by width*height ARGB pixels
// (0xAARRGGBB, not premultiplied), one 32-bit item each as xcb delivers them. Every image is
// checked before it is read: width and height 1..1024 and enough items left. The first
// malformed image ends the walk and what was valid before it counts, so neither a damaged
// property nor a hostile one can cause a large allocation (at most 4 MiB per image).
//
// The image whose larger side is nearest to `preferredSize` (a tie goes to the larger image,
// which scales down better; `preferredSize` <= 0 picks the largest), unscaled, in
// QImage::Format_ARGB32. A null image when no image is valid.
QImage netWmIconImage(const std::uint32_t* data, std::size_t count, int preferredSize);

// Every valid size (one image per size, at most 16 sizes), in the property's order. Only images:
// safe on any thread.
std::vector<QImage> netWmIconImages(const std::uint32_t* data, std::size_t count);

// The images as one icon. Needs a QGuiApplication and its thread (pixmaps); without one, an
// empty QIcon.
QIcon iconFromImages(const std::vector<QImage>& images);

// Every valid size as one icon: iconFromImages(netWmIconImages(...)). Same thread rule.
QIcon netWmIcon(const std::uint32_t* data, std::size_t count);

}  // namespace klosia
