#include "app/plot/PlotCard.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <optional>
#include <vector>

#include "app/plot/Envelope.h"
#include "app/ui/graph/GraphGeometry.h"

namespace plot {

class PlotCard::Curves : public QWidget {
 public:
  Curves(const Recording& recording, const PlotCardRows& rows, std::vector<double> ticks,
         QWidget* parent)
      : QWidget(parent), recording_(recording), rows_(rows), ticks_(std::move(ticks)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setClipRect(rect());
    const bool dark = Style::isDark(palette());
    const QSizeF plot = size();
    const double t0 = recording_.elapsed.front();
    const double t1 = recording_.elapsed.back();
    const double span = t1 > t0 ? t1 - t0 : 1;

    // The time grid in the style of the value grid, so both read as one.
    painter.save();
    painter.setOpacity(GraphViewBackgroundLines::kOpacity);
    painter.setPen(GraphViewBackgroundLines::pen(Style::color(NamedColor::Foreground, dark)));
    for (double t : ticks_) {
      const qreal x = (t - t0) / span * plot.width();
      painter.drawLine(QPointF(x, 0), QPointF(x, plot.height()));
    }
    painter.restore();

    // Two columns per point: a picture is written at twice the scale, and a vector one gains
    // nothing from more.
    const int columns = std::max(1, int(plot.width() * 2));
    const double range = rows_.scaleHigh - rows_.scaleLow;
    const auto y = [&](double v) { return plot.height() * (1 - (v - rows_.scaleLow) / range); };
    for (const PlotSeries& series : rows_.series) {
      const std::vector<ColumnSpan> spans =
          envelope(recording_.elapsed, recording_.values[series.column], t0, t1, columns);
      QPainterPath path;
      // A reading with no neighbour to join (a one-row recording, one sample between gaps)
      // strokes nothing, so it is drawn as a dot rather than lost. `open` is the start of the
      // line being drawn until a second point joins it.
      std::vector<QPointF> lone;
      std::optional<QPointF> open;
      for (std::size_t c = 0; c < spans.size(); ++c) {
        const ColumnSpan& s = spans[c];
        if (!s.filled) continue;
        const QPointF point((qreal(c) + 0.5) * plot.width() / columns, y(s.first));
        if (s.afterGap || path.elementCount() == 0) {
          if (open) lone.push_back(*open);
          path.moveTo(point);
          open = point;
        } else {
          path.lineTo(point);
          open.reset();
        }
        if (s.second != s.first) {
          path.lineTo(point.x(), y(s.second));
          open.reset();
        }
      }
      if (open) lone.push_back(*open);
      const QPen pen = GraphViewGraph::pen(series.color.resolve(dark));
      painter.setPen(pen);
      painter.setBrush(Qt::NoBrush);
      painter.drawPath(path);
      painter.setPen(Qt::NoPen);
      painter.setBrush(pen.color());
      for (const QPointF& point : lone)
        painter.drawEllipse(point, pen.widthF(), pen.widthF());
    }
  }

 private:
  const Recording& recording_;
  const PlotCardRows& rows_;
  const std::vector<double> ticks_;
};

PlotCard::PlotCard(const Recording& recording, PlotCardRows rows, std::vector<double> tickSeconds,
                   qreal height, qreal graphTopPadding, QWidget* parent)
    : ModuleView(height, graphTopPadding, parent), rows_(std::move(rows)) {
  curves_ = new Curves(recording, rows_, std::move(tickSeconds), this);
  refresh();
  curves_->raise();
}

ModuleBodyRows PlotCard::bodyRows() const {
  // The graph draws the value grid and its labels; the curves are this card's own layer.
  return {rows_.legend, rows_.axisLabels, {}};
}

QRect PlotCard::plotRect() const {
  const QRect graph = graphRect();
  return graph.adjusted(0, 0, -int(GraphLayout::kLabelColumnWidth), 0);
}

void PlotCard::resizeEvent(QResizeEvent* event) {
  ModuleView::resizeEvent(event);
  curves_->setGeometry(plotRect());
}

}  // namespace plot
