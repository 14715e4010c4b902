// What `ferrolux plot` costs for a day-long recording (86,400 rows, one a second), from the
// file's bytes to the finished picture:
//   Read:  the CSV parsed into columns.
//   Png:   read, the page built and drawn at 2x, and encoded as a PNG.
//   Svg:   the same into an SVG.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cmath>

#include "app/log/LogFileData.h"
#include "app/plot/PlotPage.h"
#include "app/plot/Recording.h"

namespace {

QApplication& app() {
  static int argc = 1;
  static char name[] = "plot_bench";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Never destroyed: widgets' application torn down among static objects at exit crashes.
  static QApplication* instance = new QApplication(argc, argv);
  return *instance;
}

const std::string& day() {
  static const std::string text = [] {
    std::vector<LogFileData> rows;
    rows.reserve(86400);
    for (int i = 0; i < 86400; ++i) {
      const double w = 0.5 + 0.45 * std::sin(i * 0.0071) * std::cos(i * 0.0013);
      LogRowValues v{};
      v.pkgPower = 20 * w;
      v.cpuPower = 14 * w;
      v.dramPower = std::nan("");
      v.gpuPower = 6 * (1 - w);
      v.eCoreFrequency = 1 + w;
      v.pCoreFrequency = 2 + 1.5 * w;
      v.gpuFrequency = w;
      v.cpuMinTemperature = 40 + 10 * w;
      v.cpuAvgTemperature = 50 + 20 * w;
      v.cpuMaxTemperature = 60 + 30 * w;
      v.gpuAvgTemperature = -1;
      v.utilization = w;
      v.eutilization = w * 0.8;
      v.putilization = w * 0.9;
      v.utilizationGPU = 1 - w;
      rows.push_back(LogFileData::make(1.7e9 + i, i, v));
    }
    return logfile::text(rows);
  }();
  return text;
}

void Read(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(plot::readRecording(day()));
}
BENCHMARK(Read)->Unit(benchmark::kMillisecond);

void Picture(benchmark::State& state, bool svg) {
  app();
  for (auto _ : state) {
    const plot::ReadResult read = plot::readRecording(day());
    plot::PlotPage page(read.recording, {"day.csv", false, 800, false});
    benchmark::DoNotOptimize(svg ? page.svg() : page.png());
  }
}
BENCHMARK_CAPTURE(Picture, Png, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Picture, Svg, true)->Unit(benchmark::kMillisecond);

}  // namespace
