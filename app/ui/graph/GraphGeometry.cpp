#include "app/ui/graph/GraphGeometry.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

GraphLayout GraphLayout::forWidget(QSizeF widget) {
  const qreal height = std::max<qreal>(0, widget.height() - 2 * kLabelOverhang);
  const qreal plotWidth = std::max<qreal>(0, widget.width() - kLabelColumnWidth);
  return {QRectF(0, kLabelOverhang, plotWidth, height),
          QRectF(plotWidth, kLabelOverhang, kLabelColumnWidth, height)};
}

namespace {

// Top, right and bottom side of the outline, clockwise from the top-left corner.
void addOutlineButLeftSide(QPainterPath& path, QSizeF plot) {
  path.moveTo(0, 0);
  path.lineTo(plot.width(), 0);
  path.lineTo(plot.width(), plot.height());
  path.lineTo(0, plot.height());
}

// One line per label, evenly spaced from the top; the last label's line is the bottom edge.
void addLabelLines(QPainterPath& path, int numberOfLabels, QSizeF plot) {
  // With no label at all n is negative and, as with one label, only the outline remains.
  const int n = numberOfLabels - 1;
  if (n <= 0) return;
  const qreal step = plot.height() / n;
  for (int i = 0; i < n; ++i) {
    path.moveTo(0, i * step);
    path.lineTo(plot.width(), i * step);
  }
}

}  // namespace

QPainterPath GraphViewBackgroundLines::path(QSizeF plot) const {
  QPainterPath path;
  addOutlineButLeftSide(path, plot);
  path.lineTo(0, 0);
  path.closeSubpath();
  addLabelLines(path, numberOfLabels, plot);
  return path;
}

QPainterPath GraphViewBackgroundLines::withoutLeftSide(QSizeF plot) const {
  QPainterPath path;
  addOutlineButLeftSide(path, plot);
  addLabelLines(path, numberOfLabels, plot);
  return path;
}

QPainterPath GraphViewBackgroundLines::leftSide(QSizeF plot) {
  QPainterPath path;
  path.moveTo(0, 0);
  path.lineTo(0, plot.height());
  return path;
}

QPen GraphViewBackgroundLines::pen(const QColor& foreground) {
  QPen pen(foreground, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::SvgMiterJoin);
  pen.setMiterLimit(10);
  return pen;
}

QList<GraphLabelPosition> GraphViewBackgroundLabels::positions(qreal columnHeight) const {
  QList<GraphLabelPosition> result;
  const qsizetype count = axisLabels.size();
  result.reserve(count);
  for (const QString& text : axisLabels) {
    // A repeated text sits where it first appears.
    const qsizetype first = std::max<qsizetype>(0, axisLabels.indexOf(text));
    // A lone label has no spacing to divide by; it goes on the top edge, like every first label.
    const qreal y = count > 1 ? first * columnHeight / (count - 1) : 0;
    result.append({text, y});
  }
  return result;
}

QRectF GraphViewBackgroundLabels::box(const GraphLabelPosition& position, qreal textWidth) {
  return QRectF(kBoxLeft, position.centreY - kBoxHeight / 2, textWidth, kBoxHeight);
}

qreal GraphViewBackgroundLabels::horizontalScale(qreal textWidth) {
  // A point short of the column's edge, so a glyph's antialiased fringe stays inside it too.
  const qreal room = GraphLayout::kLabelColumnWidth - kBoxLeft - 1;
  return textWidth > room ? room / textWidth : 1.0;
}

QPainterPath GraphViewGraphCurve::path(QSizeF plot) const {
  return path(plot, 0, data.size());
}

QPainterPath GraphViewGraphCurve::path(QSizeF plot, qsizetype first, qsizetype last) const {
  const qreal w = plot.width();
  const qreal h = plot.height();
  last = std::clamp<qsizetype>(last, 0, data.size());
  QPainterPath path;
  bool open = false;
  for (qsizetype i = std::max<qsizetype>(0, first); i < last; ++i) {
    const qreal x = w - qreal(i);
    const qreal y = h - data[i] * h;
    // NaN or an overflowing value has no place on the plot; Qt would drop the point with a
    // warning per call, once a second, so the line breaks there instead.
    if (!std::isfinite(y)) {
      open = false;
      continue;
    }
    if (open) {
      path.lineTo(x, y);
    } else {
      path.moveTo(x, y);
      open = true;
    }
  }
  return path;
}

GraphViewGraphCurve::Range GraphViewGraphCurve::pointsTouching(qsizetype valueCount,
                                                               qreal plotWidth, qreal x0,
                                                               qreal x1) {
  // Value i lies at x = w - i.
  const auto first = qsizetype(std::floor(plotWidth - x1 - kReach));
  const auto last = qsizetype(std::ceil(plotWidth - x0 + kReach)) + 1;
  Range range{std::clamp<qsizetype>(first, 0, valueCount),
              std::clamp<qsizetype>(last, 0, valueCount)};
  if (range.last < range.first) range.last = range.first;
  return range;
}

QPen GraphViewGraph::pen(const QColor& color) {
  // Qt's MiterJoin reads the limit as a length and cuts a too-long miter there, leaving a flat
  // spike far above a one-sample peak; SvgMiterJoin is the usual rule, a bevel once the
  // miter is longer than ten line widths.
  QPen pen(color, 1.5, Qt::SolidLine, Qt::FlatCap, Qt::SvgMiterJoin);
  pen.setMiterLimit(10);
  return pen;
}

void GraphViewGraph::paint(QPainter& painter, QSizeF plot, qreal x0, qreal x1) const {
  const auto range = GraphViewGraphCurve::pointsTouching(data.data.size(), plot.width(), x0, x1);
  if (range.last - range.first < 2) return;  // one point strokes nothing
  painter.setPen(pen(data.color.resolve(dark)));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(GraphViewGraphCurve{data.data}.path(plot, range.first, range.last));
}
