#include "app/ui/graph/GraphRenderer.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>
#include <cstring>

#include "app/ui/Style.h"
#include "app/ui/graph/GraphGeometry.h"

namespace {

// Bitwise, so that NaN matches NaN and an unchanged series is recognised as such.
bool sameValues(const double* a, const double* b, qsizetype count) {
  return count <= 0 || std::memcmp(a, b, size_t(count) * sizeof(double)) == 0;
}

QImage blankImage(QSizeF logical, qreal dpr, QImage::Format format) {
  const QSize pixels(int(std::ceil(logical.width() * dpr)), int(std::ceil(logical.height() * dpr)));
  QImage image(pixels.expandedTo(QSize(1, 1)), format);
  image.setDevicePixelRatio(dpr);
  image.fill(Qt::transparent);
  return image;
}

bool integralScale(qreal dpr) {
  return std::abs(dpr - std::round(dpr)) < 1e-9 && dpr >= 1;
}

}  // namespace

GraphRenderer::Work GraphRenderer::update(const QStringList& axisLabels,
                                          const QList<GraphData>& datas, QSize size,
                                          qreal devicePixelRatio, bool dark, QColor backdrop) {
  // Only an opaque backdrop is worth keeping: anything else leaves the plot see-through.
  if (backdrop.alpha() != 255) backdrop = QColor(Qt::transparent);
  const bool frameChanged = size != size_ || devicePixelRatio != dpr_ || dark != dark_;
  if (frameChanged || axisLabels != axisLabels_ || labels_.isNull()) {
    drawLabels(axisLabels, size, devicePixelRatio, dark);
  }
  const QSizeF plot = GraphLayout::forWidget(size).plot.size();
  // The grid has a line per label, so a new number of labels redraws the plot from its base.
  const bool baseChanged = frameChanged || backdrop != backdrop_ || base_.isNull() ||
                           axisLabels.size() != axisLabels_.size();
  if (baseChanged) drawBase(axisLabels.size(), plot, devicePixelRatio, dark, backdrop);
  const bool sameFrame = hasPlot_ && !baseChanged;
  size_ = size;
  dpr_ = devicePixelRatio;
  dark_ = dark;
  backdrop_ = backdrop;
  axisLabels_ = axisLabels;

  if (sameFrame && unchanged(datas)) return Work::None;
  const bool scroll = sameFrame && canScroll(datas, plot);
  if (scroll) {
    scrollPlot(datas, plot);
  } else {
    drawPlot(datas, plot);
  }
  drawn_.clear();
  drawn_.reserve(datas.size());
  for (const GraphData& graph : datas)
    drawn_.append({graph.color.resolve(dark), graph.data});
  hasPlot_ = true;
  return scroll ? Work::Scrolled : Work::Redrawn;
}

void GraphRenderer::drawLabels(const QStringList& axisLabels, QSize size, qreal dpr, bool dark) {
  const GraphLayout layout = GraphLayout::forWidget(size);
  labels_ = blankImage(size, dpr, QImage::Format_ARGB32_Premultiplied);
  // The column fades as a whole: labels drawn on top of each other (a repeated text) must not
  // add up, so they go through a layer of their own.
  QImage column = blankImage(size, dpr, QImage::Format_ARGB32_Premultiplied);
  {
    QPainter text(&column);
    text.setRenderHint(QPainter::TextAntialiasing);
    const QFont font = Style::font(TextStyle::Footnote);
    const QFontMetricsF metrics(font);
    text.setFont(font);
    text.setPen(Style::color(NamedColor::Foreground, dark));
    text.translate(layout.labelColumn.topLeft());
    const auto positions = GraphViewBackgroundLabels{axisLabels}.positions(layout.plot.height());
    for (const GraphLabelPosition& position : positions) {
      const qreal width = metrics.horizontalAdvance(position.text);
      const QRectF box = GraphViewBackgroundLabels::box(position, width);
      const qreal scale = GraphViewBackgroundLabels::horizontalScale(width);
      text.save();
      text.translate(box.left(), 0);
      text.scale(scale, 1);
      text.drawText(box.translated(-box.left(), 0),
                    Qt::AlignCenter | Qt::TextDontClip | Qt::TextSingleLine, position.text);
      text.restore();
    }
  }
  QPainter painter(&labels_);
  painter.setOpacity(GraphViewBackgroundLabels::kOpacity);
  painter.drawImage(QPointF(0, 0), column);
}

void GraphRenderer::drawBase(qsizetype labelCount, QSizeF plot, qreal dpr, bool dark,
                             QColor backdrop) {
  // An opaque plot is kept without an alpha channel: showing it is then a plain copy.
  base_ = blankImage(
      plot, dpr,
      backdrop.alpha() == 255 ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
  if (backdrop.alpha() == 255) base_.fill(backdrop);
  QPainter painter(&base_);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setClipRect(QRectF(QPointF(0, 0), plot));
  painter.setOpacity(GraphViewBackgroundLines::kOpacity);
  painter.setPen(GraphViewBackgroundLines::pen(Style::color(NamedColor::Foreground, dark)));
  // The outline's left side goes over the curves, once they are drawn or moved. It is kept as
  // an image one point wide: putting that down is a plain blend of a few pixels per row, where
  // stroking the line again would be a path fill down the plot's whole height.
  painter.drawPath(GraphViewBackgroundLines{int(labelCount)}.withoutLeftSide(plot));
  painter.end();
  leftSide_ = blankImage(QSizeF(1, plot.height()), dpr, QImage::Format_ARGB32_Premultiplied);
  QPainter side(&leftSide_);
  side.setRenderHint(QPainter::Antialiasing);
  side.setClipRect(QRectF(QPointF(0, 0), plot));
  side.setOpacity(GraphViewBackgroundLines::kOpacity);
  side.setPen(GraphViewBackgroundLines::pen(Style::color(NamedColor::Foreground, dark)));
  side.drawPath(GraphViewBackgroundLines::leftSide(plot));
}

void GraphRenderer::drawLeftSide() {
  QPainter painter(&plot_);
  painter.drawImage(QPointF(0, 0), leftSide_);
}

bool GraphRenderer::unchanged(const QList<GraphData>& datas) const {
  if (datas.size() != drawn_.size()) return false;
  for (qsizetype i = 0; i < datas.size(); ++i) {
    const QList<double>& now = datas[i].data;
    const QList<double>& before = drawn_[i].data;
    if (datas[i].color.resolve(dark_) != drawn_[i].color || now.size() != before.size() ||
        !sameValues(now.constData(), before.constData(), now.size())) {
      return false;
    }
  }
  return true;
}

bool GraphRenderer::canScroll(const QList<GraphData>& datas, QSizeF plot) const {
  if (!integralScale(dpr_) || plot.width() < 2 * kStripWidth ||
      plot.width() != std::floor(plot.width()) || datas.size() != drawn_.size()) {
    return false;
  }
  for (qsizetype i = 0; i < datas.size(); ++i) {
    const QList<double>& now = datas[i].data;
    const QList<double>& before = drawn_[i].data;
    if (datas[i].color.resolve(dark_) != drawn_[i].color || now.isEmpty()) return false;
    // One new value in front, the rest moved back by one; the oldest may have been cut.
    if (now.size() != before.size() + 1 && now.size() != before.size()) return false;
    if (!sameValues(now.constData() + 1, before.constData(), now.size() - 1)) return false;
  }
  return true;
}

void GraphRenderer::drawPlot(const QList<GraphData>& datas, QSizeF plot) {
  plot_ = base_.copy();
  QPainter painter(&plot_);
  painter.setRenderHint(QPainter::Antialiasing);
  // Each curve is one stroked outline in a single colour, so stroking it straight onto the
  // plot gives what a layer of its own composited in order would give.
  for (const GraphData& graph : datas)
    GraphViewGraph{graph, dark_}.paint(painter, plot, 0, plot.width());
  painter.end();
  drawLeftSide();
}

void GraphRenderer::redrawBand(const QList<GraphData>& datas, QSizeF plot, int x0, int x1) {
  // Bands are whole points, and with a whole-number scale whole pixels, so the clip is exact
  // and the band matches a full redraw pixel for pixel.
  x0 = std::clamp(x0, 0, int(plot.width()));
  x1 = std::clamp(x1, 0, int(plot.width()));
  if (x1 <= x0) return;
  const int scale = int(std::round(dpr_));
  for (int y = 0; y < plot_.height(); ++y) {
    std::memcpy(reinterpret_cast<quint32*>(plot_.scanLine(y)) + x0 * scale,
                reinterpret_cast<const quint32*>(base_.constScanLine(y)) + x0 * scale,
                size_t(x1 - x0) * scale * sizeof(quint32));
  }
  QPainter painter(&plot_);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setClipRect(QRectF(x0, 0, x1 - x0, plot.height()));
  for (const GraphData& graph : datas)
    GraphViewGraph{graph, dark_}.paint(painter, plot, x0, x1);
}

void GraphRenderer::scrollPlot(const QList<GraphData>& datas, QSizeF plot) {
  const int shift = int(std::round(dpr_));
  const int keep = plot_.width() - shift;
  for (int y = 0; y < plot_.height(); ++y) {
    auto* line = reinterpret_cast<quint32*>(plot_.scanLine(y));
    std::memmove(line, line + shift, size_t(keep) * sizeof(quint32));
  }
  const int w = int(plot.width());
  const int reach = int(std::ceil(GraphViewGraphCurve::kReach));
  // The newest segments come in at the right edge.
  redrawBand(datas, plot, w - kStripWidth, w);
  // Where a history was cut, its oldest segment is gone; if that lay in sight, so must its
  // pixels be. It was between the last two points before moving, now at w - n and w - n + 1.
  int cutLeft = w, cutRight = 0;
  for (qsizetype i = 0; i < datas.size(); ++i) {
    const qsizetype n = datas[i].data.size();
    if (n != drawn_[i].data.size()) continue;
    cutLeft = std::min(cutLeft, int(w - n) - reach);
    cutRight = std::max(cutRight, int(w - n + 1) + reach + 1);
  }
  if (cutLeft < cutRight) redrawBand(datas, plot, cutLeft, cutRight);
  // The outline's left side was moved out of the plot; the pixels now under it never held it.
  drawLeftSide();
}

QPointF GraphRenderer::plotOrigin() const {
  return GraphLayout::forWidget(size_).plot.topLeft();
}

void GraphRenderer::paintLabels(QPainter& painter) const {
  painter.drawImage(QPointF(0, 0), labels_);
}

void GraphRenderer::paintPlot(QPainter& painter) const {
  // The image is exactly the plot, so whatever a curve drew beyond the plot is already gone:
  // the clip has hard, pixel-aligned edges.
  painter.drawImage(QPointF(0, 0), plot_);
}

void GraphRenderer::paint(QPainter& painter) const {
  paintLabels(painter);
  painter.drawImage(plotOrigin(), plot_);
}

QImage GraphRenderer::composed() const {
  QImage image = blankImage(size_, dpr_ > 0 ? dpr_ : 1, QImage::Format_ARGB32_Premultiplied);
  QPainter painter(&image);
  paint(painter);
  return image;
}
