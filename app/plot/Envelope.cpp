#include "app/plot/Envelope.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace plot {

std::vector<ColumnSpan> envelope(const std::vector<double>& times,
                                 const std::vector<double>& values, double t0, double t1,
                                 int columns) {
  std::vector<ColumnSpan> spans(std::size_t(std::max(columns, 0)));
  if (spans.empty()) return spans;
  // A recording of one instant puts everything into the first column.
  const double perSecond = t1 > t0 ? columns / (t1 - t0) : 0;
  // Per column, where the low and the high were first met, to keep their order.
  std::vector<std::size_t> lowAt(spans.size()), highAt(spans.size());
  std::vector<double> low(spans.size()), high(spans.size());
  const std::size_t n = std::min(times.size(), values.size());
  bool gap = false;
  for (std::size_t i = 0; i < n; ++i) {
    const double v = values[i];
    if (std::isnan(v)) {
      gap = true;
      continue;
    }
    const double x = (times[i] - t0) * perSecond;
    const auto c = std::size_t(std::clamp(x, 0.0, double(columns - 1)));
    if (!spans[c].filled) {
      spans[c].filled = true;
      spans[c].afterGap = gap;
      low[c] = high[c] = v;
      lowAt[c] = highAt[c] = i;
    } else if (v < low[c]) {
      low[c] = v;
      lowAt[c] = i;
    } else if (v > high[c]) {
      high[c] = v;
      highAt[c] = i;
    }
    gap = false;
  }
  for (std::size_t c = 0; c < spans.size(); ++c) {
    if (!spans[c].filled) continue;
    const bool lowFirst = lowAt[c] <= highAt[c];
    spans[c].first = lowFirst ? low[c] : high[c];
    spans[c].second = lowFirst ? high[c] : low[c];
  }
  return spans;
}

SeriesFigures figures(const std::vector<double>& values) {
  double sum = 0;
  double peak = -std::numeric_limits<double>::infinity();
  std::size_t count = 0;
  for (double v : values) {
    if (std::isnan(v)) continue;
    sum += v;
    peak = std::max(peak, v);
    ++count;
  }
  if (count == 0) return {std::nan(""), std::nan("")};
  return {sum / double(count), peak};
}

}  // namespace plot
