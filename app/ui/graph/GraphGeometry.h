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
  // The same grid in two parts: all but the outline's left side, which looks the same
  // wherever it is moved sideways (and so can scroll with the curves), and that side alone.
  QPainterPath withoutLeftSide(QSizeF plot) const;
  static QPainterPath leftSide(QSizeF plot);
  static QPen pen(const QColor& foreground);  // 1 pt, as the curves' joins; drawn at kOpacity
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
  // The 16 pt right of the box's left edge hold two digits of the footnote font but not three
  // ("120", "250"): a wider text is narrowed by this factor so it ends a point inside the
  // column's edge instead of being cut there.
  static qreal horizontalScale(qreal textWidth);
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
  // The polyline through the values first .. last - 1 only.
  QPainterPath path(QSizeF plot, qsizetype first, qsizetype last) const;

  struct Range {
    qsizetype first = 0;
    qsizetype last = 0;  // one past
  };
  // The values whose stroke can touch the band x0 <= x < x1 of a plot `plotWidth` wide: the
  // rest, together with their widest miter joins, lie wholly outside it. Stroking only those
  // gives the same pixels in the band as stroking the whole curve.
  static Range pointsTouching(qsizetype valueCount, qreal plotWidth, qreal x0, qreal x1);
  // Half the stroke plus the longest miter the stroker makes (7.5 pt from the join for a
  // 1.5 pt pen with limit 10), with room to spare.
  static constexpr qreal kReach = 12;
};

// One styled curve: its polyline stroked in the series' colour, a named colour taken from the
// appearance it is painted in.
struct GraphViewGraph {
  GraphData data;
  bool dark = false;

  // 1.5 pt, butt caps, miter joins with the standard limit of 10 widths (bevelled beyond it).
  static QPen pen(const QColor& color);
  // Strokes the part of the curve that can touch the band x0 <= x < x1 of the plot.
  void paint(QPainter& painter, QSizeF plot, qreal x0, qreal x1) const;
};
