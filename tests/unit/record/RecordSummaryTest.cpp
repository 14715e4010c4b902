// The arithmetic of the summary that `ferrolux record` ends with.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/record/RecordSummary.h"
#include "unit/core/Numbers.h"

namespace {

using record::RecordSummary;
using Clock = RecordSummary::Clock;
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

struct Sample {
  double atSeconds;
  RecordSummary::Watts watts;  // package, CPU, GPU, DRAM
  double window;
};

RecordSummary summarize(const std::vector<Sample>& samples) {
  RecordSummary s;
  const Clock::time_point t0{};
  for (const Sample& x : samples)
    s.add(t0 + std::chrono::duration_cast<Clock::duration>(
                   std::chrono::duration<double>(x.atSeconds)),
          x.watts, x.window);
  return s;
}

void expectNumber(double actual, double expected, const char* what) {
  fxtest::expectNear(actual, expected, 1e-9, what);
}

TEST(RecordSummary, AveragePeakAndEnergy) {
  struct Row {
    const char* name;
    std::vector<Sample> samples;
    double covered;
    // package domain, then DRAM
    double average, peak, joules;
    double dramAverage, dramJoules;
  } rows[] = {
      {"no samples", {}, 0, NaN, NaN, 0, NaN, 0},
      {"first sample counts for its window", {{10, {4, 2, 1, 0.5}, 0.5}}, 0.5, 4, 4, 2, 0.5, 0.25},
      // 2 W for its 0.5 s window, then 6 W held for 3 s: uneven intervals weigh by time.
      {"held over the real intervals",
       {{10, {2, 1, 0, 0}, 0.5}, {13, {6, 1, 0, 0}, 0.5}},
       3.5,
       19.0 / 3.5,
       6,
       19,
       0,
       0},
      // After a gap beyond the meter's limit only the sampler window counts.
      {"a gap counts for the window alone",
       {{0, {2, 0, 0, 0}, 1}, {1, {2, 0, 0, 0}, 1}, {60, {8, 0, 0, 0}, 1}},
       3,
       12.0 / 3,
       8,
       12,
       0,
       0},
      // DRAM not reported: n/a, not 0 W; a missing package figure neither counts nor dilutes.
      {"missing readings",
       {{0, {3, 1, NaN, NaN}, 1}, {1, {NaN, 1, NaN, NaN}, 1}, {2, {5, 1, NaN, -1}, 1}},
       3,
       8.0 / 2,
       5,
       8,
       NaN,
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const RecordSummary s = summarize(row.samples);
    EXPECT_EQ(s.samples(), static_cast<int>(row.samples.size()));
    expectNumber(s.coveredSeconds(), row.covered, "covered");
    expectNumber(s.averageWatts(0), row.average, "average");
    expectNumber(s.peakWatts(0), row.peak, "peak");
    expectNumber(s.joules(0), row.joules, "joules");
    expectNumber(s.averageWatts(3), row.dramAverage, "DRAM average");
    expectNumber(s.joules(3), row.dramJoules, "DRAM joules");
  }
}

}  // namespace
