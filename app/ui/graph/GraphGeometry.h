// The geometry of a graph, computed from data and size alone so it can be checked without
// drawing. All coordinates are logical points, origin at the top-left of the area concerned,
// y growing downwards.
#pragma once

#include <QList>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QStringList>

#include "app/ui/graph/GraphData.h"

class QPainter;

// The graph widget: the plot on the left and a 20 pt label column on the right, both the
// plot's full height. The widget keeps a margin above and below the plot so the edge labels,
// which are centred on the plot's top and bottom edges, are not cut by the widget's bounds.
struct GraphLayout {
  static constexpr qreal kLabelColumnWidth = 20;
  static constexpr qreal kLabelOverhang = 5;  // half a label box

  QRectF plot;
  QRectF labelColumn;

  static GraphLayout forWidget(QSizeF widget);
};

// The faint horizontal grid: the plot's outline and one line per label, evenly spaced.
struct GraphViewBackgroundLines {
  int numberOfLabels = 0;

  QPainterPath path(QSizeF plot) const;
  static QPen pen(const QColor& foreground);  // 1 pt; drawn at kOpacity
  static constexpr qreal kOpacity = 0.1;
};

struct GraphLabelPosition {
  QString text;
  qreal centreY = 0;  // in the label column; equal to the matching grid line's y
};

// The label column, drawn at kOpacity as a whole.
struct GraphViewBackgroundLabels {
  QStringList axisLabels;

  QList<GraphLabelPosition> positions(qreal columnHeight) const;
  // The box a label of the given text width is centred in: 10 pt high, 4 pt from the left.
  static QRectF box(const GraphLabelPosition& position, qreal textWidth);
  static constexpr qreal kOpacity = 0.8;
  static constexpr qreal kBoxHeight = 10;
  static constexpr qreal kBoxLeft = 4;
};

// The bare polyline of one series: newest value on the right edge, one point per sample to the
// left, values unclamped (the plot's clip hides what lies outside).
struct GraphViewGraphCurve {
  QList<double> data;

  // The whole polyline. A value that gives no finite point leaves a gap.
  QPainterPath path(QSizeF plot) const;
  // The polyline through the first `count` values only.
  QPainterPath path(QSizeF plot, qsizetype count) const;
  // How many of the newest values can touch the area of `visibleWidth` at the plot's right
  // edge; older ones, together with their widest miter join, fall wholly beyond its left edge.
  static qsizetype pointsReaching(qsizetype valueCount, qreal visibleWidth);
  static constexpr qreal kReach = 18;  // > half the stroke plus the longest miter (10 x 1.5)
};

// One styled curve: its polyline stroked in the series' colour.
struct GraphViewGraph {
  GraphData data;

  static QPen pen(const QColor& color);  // 1.5 pt, butt caps, miter joins, miter limit 10
  // Strokes the part of the curve that can reach the rightmost `visibleWidth` of the plot.
  void paint(QPainter& painter, QSizeF plot, qreal visibleWidth) const;
};
