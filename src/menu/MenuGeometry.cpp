#include "menu/MenuGeometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace klosia::menugeometry {

namespace {

// First coordinate past the rectangle (QRect::right() is the last pixel inside it).
int endX(const QRect& r) {
    return r.x() + r.width();
}
int endY(const QRect& r) {
    return r.y() + r.height();
}

// `start` moved so that [start, start + length) lies within [low, high); `low` wins when the
// length does not fit.
int clampSpan(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length));
}

}  // namespace

QSize windowSize(const std::vector<qreal>& titleWidths, QSize available) {
    int width = kMinimumWidth;
    if (!titleWidths.empty()) {
        const qreal widest = *std::max_element(titleWidths.begin(), titleWidths.end()) + 2;
        width = static_cast<int>(std::ceil(widest)) + kRowExtraWidth;
    }
    width = std::clamp(width, kMinimumWidth, kMaximumWidth);
    const qsizetype rows = static_cast<qsizetype>(titleWidths.size());
    // Thousands of rows would overflow an int long before they fit on a screen.
    const qint64 height = qint64{kRowHeight} * rows + kHeaderHeight + kFooterHeight;
    return {std::max(0, std::min(width, available.width())),
            static_cast<int>(std::max<qint64>(0, std::min<qint64>(height, available.height())))};
}

PanelEdge panelEdge(QPoint anchor, const QRect& screen, const QRect& available) {
    const int x = anchor.x();
    const int y = anchor.y();
    if (y < available.y()) {
        return PanelEdge::top;
    }
    if (y >= endY(available)) {
        return PanelEdge::bottom;
    }
    if (x < available.x()) {
        return PanelEdge::left;
    }
    if (x >= endX(available)) {
        return PanelEdge::right;
    }
    // Inside the free area: the nearest screen edge, in the order top, bottom, left, right on a
    // tie.
    const std::pair<int, PanelEdge> distances[] = {
        {y - screen.y(), PanelEdge::top},
        {endY(screen) - 1 - y, PanelEdge::bottom},
        {x - screen.x(), PanelEdge::left},
        {endX(screen) - 1 - x, PanelEdge::right},
    };
    auto nearest = std::pair{std::numeric_limits<int>::max(), PanelEdge::top};
    for (const auto& candidate : distances) {
        if (candidate.first < nearest.first) {
            nearest = candidate;
        }
    }
    return nearest.second;
}

QPoint windowOrigin(QSize size, QPoint anchor, const QRect& screen, const QRect& available) {
    const int w = size.width();
    const int h = size.height();
    int x = anchor.x() - w / 2;
    int y = anchor.y() - h / 2;
    switch (panelEdge(anchor, screen, available)) {
        case PanelEdge::top:
            y = screen.y() + kEdgeGap;
            break;
        case PanelEdge::bottom:
            y = endY(screen) - kEdgeGap - h;
            break;
        case PanelEdge::left:
            x = screen.x() + kEdgeGap;
            break;
        case PanelEdge::right:
            x = endX(screen) - kEdgeGap - w;
            break;
    }
    // The panel's own strip lies outside `available`, so keeping inside it also keeps the
    // window off the panel when the panel is wider than the gap.
    return {clampSpan(x, w, available.x(), endX(available)),
            clampSpan(y, h, available.y(), endY(available))};
}

}  // namespace klosia::menugeometry
