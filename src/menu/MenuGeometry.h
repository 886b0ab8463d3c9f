#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QtGlobal>

#include <vector>

namespace klosia::menugeometry {

// Measures of the menu window, in points (device-independent pixels).
inline constexpr int kMinimumWidth = 270;
inline constexpr int kMaximumWidth = 440;
inline constexpr int kRowHeight = 27;
// Above the rows: the search field and select-all box.
inline constexpr int kHeaderHeight = 50;
// Below the rows: the main button, then the tip line.
inline constexpr int kFooterHeight = 55 + 30;
// Besides the widest title: check box, icon, load, quit button and margins of a row.
inline constexpr int kRowExtraWidth = 195;
// The menu keeps this far from the screen edge its panel sits on.
inline constexpr int kEdgeGap = 25;

// The size for rows whose titles measure `titleWidths`: the widest title plus 2, rounded up,
// plus the rest of a row, kept within 270..440 (270 with no row); 27 per row plus header and
// footer. Both never exceed `available` (the screen's area outside its panels).
QSize windowSize(const std::vector<qreal>& titleWidths, QSize available);

// Where the panel holding the status icon sits.
enum class PanelEdge { top, bottom, left, right };

// The edge of the panel whose icon is at `anchor`: the edge whose reserved strip (the part of
// `screen` outside `available`) holds the point, else the screen edge nearest to it (panels
// that reserve no space, or an anchor that is a press position). In a corner where two strips
// meet, the top or bottom panel wins: a horizontal panel usually spans the whole width.
PanelEdge panelEdge(QPoint anchor, const QRect& screen, const QRect& available);

// The window's top-left corner: centred on `anchor` along the panel, opened away from the
// panel's edge (below a top panel, at least 25 under the screen's top; above a bottom panel;
// beside a side panel, likewise 25 from the screen edge), and always inside `available`.
QPoint windowOrigin(QSize size, QPoint anchor, const QRect& screen, const QRect& available);

}  // namespace klosia::menugeometry
