#include "app/plot/PlotRows.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "app/metrics/PowerAxis.h"
#include "app/plot/Envelope.h"
#include "app/ui/ModuleViewFrequency.h"
#include "app/ui/ModuleViewPower.h"
#include "app/ui/ModuleViewTemperature.h"
#include "app/ui/ModuleViewUtilization.h"

namespace plot {

namespace {

// The graphs are taller than the window's: a recording has more to show than 350 samples.
constexpr qreal kExtraGraphHeight = 40;

QString pair(const char* format, double average, double peak) {
  return ModuleRows::format(format, average) + QStringLiteral(" / ") +
         ModuleRows::format(format, peak);
}

ModuleTitleRow withFigures(ModuleTitleRow title) {
  title.labelRight += QStringLiteral(" \u00b7 AVERAGE / PEAK");
  return title;
}

// A legend entry for one column of the recording, its readings scaled by `factor` for display.
LegendRow entry(const Recording& r, Column column, const char* label, const char* labelDown,
                NamedColor color, qreal width, const char* format, double factor = 1) {
  const SeriesFigures f = figures(r.values[column]);
  return {label, labelDown, pair(format, f.average * factor, f.peak * factor), color, width};
}

double peakOf(const Recording& r, Column column) {
  const double peak = figures(r.values[column]).peak;
  return std::isnan(peak) ? 0 : peak;
}

PlotCardSpec power(const Recording& r, const record::RecordSummary& s) {
  using D = headless::EnergyMeter::Domain;
  const auto watts = [&s](D d) { return pair("%.2f", s.averageWatts(d), s.peakWatts(d)); };
  PlotCardRows rows;
  rows.title = withFigures(ModuleViewPowerStatic::title());
  rows.legend = {{"PKG", {}, watts(D::Package), NamedColor::Blue, 120},
                 {"CPU", {}, watts(D::CPU), NamedColor::Cyan, 120},
                 {"DRAM", {}, watts(D::DRAM), NamedColor::Orange, 125},
                 {"GPU", {}, watts(D::GPU), NamedColor::Pink, 120}};
  // The window's scale, chosen by the largest package power of the whole recording.
  rows.axisLabels = powerAxisLabels(peakOf(r, PkgPower));
  rows.scaleHigh = rows.axisLabels.front().toDouble();
  rows.series = {{CpuPower, NamedColor::Cyan},
                 {PkgPower, NamedColor::Blue},
                 {DramPower, NamedColor::Orange},
                 {GpuPower, NamedColor::Pink}};
  return {rows, ModuleViewPowerStatic::kHeight + kExtraGraphHeight, 10};
}

PlotCardSpec frequency(const Recording& r) {
  PlotCardRows rows;
  rows.title = withFigures(ModuleViewFrequencyStatic::title());
  rows.legend = {entry(r, ECoreMHz, "E-CORE", "", NamedColor::Blue, 130, "%.2f", 1e-3),
                 entry(r, PCoreMHz, "P-CORE", "", NamedColor::Cyan, 130, "%.2f", 1e-3),
                 entry(r, GpuMHz, "GPU", "", NamedColor::Pink, 120, "%.2f", 1e-3)};
  // The window's 0 to 4 GHz, or whole gigahertz above the peak when a core ran faster.
  const double peakGHz =
      std::max({peakOf(r, ECoreMHz), peakOf(r, PCoreMHz), peakOf(r, GpuMHz)}) / 1000;
  const int top = std::max(4, int(std::ceil(peakGHz)));
  for (int g = top; g >= 0; --g)
    rows.axisLabels.append(QString::number(g) + QStringLiteral(".0"));
  rows.scaleHigh = top * 1000.0;
  rows.series = {
      {PCoreMHz, NamedColor::Cyan}, {ECoreMHz, NamedColor::Blue}, {GpuMHz, NamedColor::Pink}};
  return {rows, ModuleViewFrequencyStatic::kHeight + kExtraGraphHeight, 10};
}

PlotCardSpec temperature(const Recording& r) {
  PlotCardRows rows;
  rows.title = withFigures(ModuleViewTemperatureStatic{true}.title());
  rows.legend = {entry(r, CpuAvgC, "CORE", "AVG", NamedColor::Cyan, 115, "%.1f"),
                 entry(r, CpuMaxC, "CORE", "MAX", NamedColor::Blue, 115, "%.1f"),
                 entry(r, CpuMinC, "CORE", "MIN", NamedColor::Purple, 115, "%.1f"),
                 entry(r, GpuAvgC, "GPU", "AVG", NamedColor::Pink, 115, "%.1f")};
  const QList<int> scale = ModuleViewTemperatureDynamic::scale(true);
  for (int n : scale)
    rows.axisLabels.append(QString::number(n));
  rows.scaleHigh = scale.first();
  rows.scaleLow = scale.last();
  rows.series = {{CpuMinC, NamedColor::Purple},
                 {CpuMaxC, NamedColor::Blue},
                 {CpuAvgC, NamedColor::Cyan},
                 {GpuAvgC, NamedColor::Pink}};
  return {rows, ModuleViewTemperatureStatic::kHeight + kExtraGraphHeight, 16};
}

PlotCardSpec utilization(const Recording& r) {
  constexpr NamedColor core = ModuleViewUtilizationDynamic::kCoreColor;
  PlotCardRows rows;
  rows.title = withFigures(ModuleViewUtilizationStatic::title());
  rows.legend = {entry(r, CpuUtilization, "CORE", "", core, 120, "%.1f"),
                 entry(r, ECoreUtilization, "E-CORE", "", NamedColor::Blue, 135, "%.1f"),
                 entry(r, PCoreUtilization, "P-CORE", "", NamedColor::Cyan, 135, "%.1f"),
                 entry(r, GpuUtilization, "GPU", "", NamedColor::Pink, 120, "%.1f")};
  rows.axisLabels = {"100", "80", "60", "40", "20", "0"};
  rows.scaleHigh = 100;
  rows.series = {{GpuUtilization, NamedColor::Pink},
                 {ECoreUtilization, NamedColor::Blue},
                 {PCoreUtilization, NamedColor::Cyan},
                 {CpuUtilization, core}};
  return {rows, ModuleViewUtilizationStatic::kHeight + kExtraGraphHeight, 10};
}

}  // namespace

record::RecordSummary summarize(const Recording& r) {
  std::vector<double> intervals;
  intervals.reserve(r.rows());
  for (std::size_t i = 1; i < r.rows(); ++i)
    intervals.push_back(r.elapsed[i] - r.elapsed[i - 1]);
  double typical = 1;
  if (!intervals.empty()) {
    std::nth_element(intervals.begin(), intervals.begin() + long(intervals.size() / 2),
                     intervals.end());
    typical = intervals[intervals.size() / 2];
  }
  record::RecordSummary summary;
  using Clock = record::RecordSummary::Clock;
  for (std::size_t i = 0; i < r.rows(); ++i) {
    const auto at = Clock::time_point(
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(r.elapsed[i])));
    summary.add(at,
                {r.values[PkgPower][i], r.values[CpuPower][i], r.values[GpuPower][i],
                 r.values[DramPower][i]},
                typical);
  }
  return summary;
}

QList<PlotCardSpec> cardSpecs(const Recording& r, const record::RecordSummary& power) {
  return {plot::power(r, power), frequency(r), temperature(r), utilization(r)};
}

}  // namespace plot
