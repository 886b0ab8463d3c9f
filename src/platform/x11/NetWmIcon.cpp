#include "platform/x11/NetWmIcon.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QSet>
#include <QSize>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace klosia {

namespace {

constexpr std::uint32_t kMaxSide = kNetWmIconMaxSide;
constexpr int kMaxSizes = 16;

struct Frame {
    std::size_t offset = 0;  // of the first pixel
    int width = 0;
    int height = 0;
};

// Calls `visit` for each valid image in order; stops at the first malformed one or when
// `visit` returns false.
template <typename Visit>
void forEachFrame(const std::uint32_t* data, std::size_t count, Visit visit) {
    if (data == nullptr) {
        return;
    }
    std::size_t position = 0;
    while (count - position >= 2) {
        const std::uint32_t width = data[position];
        const std::uint32_t height = data[position + 1];
        if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) {
            return;
        }
        // Both sides are at most 1024 here, so the product cannot overflow.
        const std::size_t pixels = std::size_t{width} * std::size_t{height};
        if (count - position - 2 < pixels) {
            return;
        }
        if (!visit(Frame{position + 2, static_cast<int>(width), static_cast<int>(height)})) {
            return;
        }
        position += 2 + pixels;
    }
}

QImage toImage(const std::uint32_t* data, const Frame& frame) {
    QImage image(frame.width, frame.height, QImage::Format_ARGB32);
    if (image.isNull()) {
        return {};
    }
    // Format_ARGB32 keeps each pixel as a native 0xAARRGGBB word, exactly the property's form.
    const std::size_t rowBytes = static_cast<std::size_t>(frame.width) * sizeof(std::uint32_t);
    for (int y = 0; y < frame.height; ++y) {
        std::memcpy(image.scanLine(y),
                    data + frame.offset + static_cast<std::size_t>(y) * frame.width, rowBytes);
    }
    return image;
}

}  // namespace

QImage netWmIconImage(const std::uint32_t* data, std::size_t count, int preferredSize) {
    Frame best;
    bool found = false;
    forEachFrame(data, count, [&](const Frame& frame) {
        if (!found) {
            best = frame;
            found = true;
            return true;
        }
        const int side = std::max(frame.width, frame.height);
        const int bestSide = std::max(best.width, best.height);
        if (preferredSize <= 0) {
            if (side > bestSide) {
                best = frame;
            }
            return true;
        }
        const int distance = std::abs(side - preferredSize);
        const int bestDistance = std::abs(bestSide - preferredSize);
        if (distance < bestDistance || (distance == bestDistance && side > bestSide)) {
            best = frame;
        }
        return true;
    });
    return found ? toImage(data, best) : QImage();
}

std::vector<QImage> netWmIconImages(const std::uint32_t* data, std::size_t count) {
    std::vector<QImage> images;
    QSet<quint64> seen;
    forEachFrame(data, count, [&](const Frame& frame) {
        const quint64 key = (quint64{static_cast<unsigned>(frame.width)} << 32U) |
                            static_cast<unsigned>(frame.height);
        if (!seen.contains(key)) {
            seen.insert(key);
            QImage image = toImage(data, frame);
            if (!image.isNull()) {
                images.push_back(std::move(image));
            }
        }
        return seen.size() < kMaxSizes;
    });
    return images;
}

QIcon iconFromImages(const std::vector<QImage>& images) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return {};
    }
    QIcon icon;
    for (const QImage& image : images) {
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

QIcon netWmIcon(const std::uint32_t* data, std::size_t count) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return {};
    }
    return iconFromImages(netWmIconImages(data, count));
}

}  // namespace klosia
