// A rectangle's outline with some of its corners cut along a quarter curve: the shape that
// rounds only the more button's top-right corner, where it meets the window's corner.
//
// Threads: a value type; any thread.
#pragma once

#include <QFlags>
#include <QPainterPath>
#include <QSizeF>

// One bit per corner, in a drawing space whose y grows downwards.
enum class Corner : int {
  BottomLeft = 1,
  TopLeft = 2,
  BottomRight = 4,
  TopRight = 8,
};
Q_DECLARE_FLAGS(Corners, Corner)
Q_DECLARE_OPERATORS_FOR_FLAGS(Corners)

struct RoundedCorner {
  double radius = 0;
  Corners corners;

  // The outline in a rectangle of `size` whose origin is (0, 0): from the top-right point
  // clockwise, each selected corner replaced by a cubic curve whose two control points are the
  // corner itself. The path is left open; filling or clipping closes it.
  QPainterPath path(const QSizeF& size) const;
};
