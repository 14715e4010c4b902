#include "app/plot/TimeAxis.h"

#include <QPainter>

#include <cmath>

#include <iterator>

#include "app/ui/Style.h"
#include "app/ui/graph/GraphGeometry.h"

namespace plot {

std::vector<double> tickSeconds(double seconds, double width, double minGap) {
  static const double kSteps[] = {1,     2,     5,     10,    15,     30,    60,
                                  120,   300,   600,   900,   1800,   3600,  7200,
                                  10800, 21600, 43200, 86400, 172800, 604800};
  std::vector<double> ticks;
  if (!(seconds > 0) || !(width > 0)) return ticks;
  double step = kSteps[std::size(kSteps) - 1];
  for (double s : kSteps) {
    if (s / seconds * width >= minGap) {
      step = s;
      break;
    }
  }
  for (double t = 0; t <= seconds + 1e-9; t += step)
    ticks.push_back(t);
  return ticks;
}

QString elapsedLabel(double seconds, double total) {
  const auto whole = static_cast<long long>(std::llround(seconds));
  if (total < 3600) {
    return QString::asprintf("%lld:%02lld", whole / 60, whole % 60);
  }
  return QString::asprintf("%lld:%02lld", whole / 3600, (whole / 60) % 60);
}

TimeAxis::TimeAxis(std::vector<double> ticks, double total, QWidget* parent)
    : QWidget(parent), ticks_(std::move(ticks)), total_(total) {}

void TimeAxis::setPlotSpan(int left, int right) {
  left_ = left;
  right_ = right;
  update();
}

void TimeAxis::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setFont(Style::font(TextStyle::Footnote));
  painter.setPen(Style::color(NamedColor::Foreground, Style::isDark(palette())));
  // As faint as the graphs' own axis labels.
  painter.setOpacity(GraphViewBackgroundLabels::kOpacity);
  const double span = total_ > 0 ? total_ : 1;
  for (double t : ticks_) {
    const qreal x = left_ + t / span * (right_ - left_);
    const QRectF box(x - 40, 0, 80, height());
    Qt::Alignment align = Qt::AlignHCenter;
    // The end labels stay inside the page.
    if (box.left() < 0) align = Qt::AlignLeft;
    if (box.right() > width()) align = Qt::AlignRight;
    const QRectF place = align == Qt::AlignLeft    ? QRectF(x, 0, 80, height())
                         : align == Qt::AlignRight ? QRectF(x - 80, 0, 80, height())
                                                   : box;
    painter.drawText(place, align | Qt::AlignTop | Qt::TextSingleLine, elapsedLabel(t, total_));
  }
}

}  // namespace plot
