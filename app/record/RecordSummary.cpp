#include "app/record/RecordSummary.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "app/log/LogFileData.h"

namespace record {

namespace {

const char* const kNames[RecordSummary::kDomains] = {"Package", "CPU", "GPU", "DRAM"};

// A reading counts when it is a real, non-negative power; the meter skips the rest the same way.
bool isReading(double watts) {
  return std::isfinite(watts) && watts >= 0;
}

std::string cell(double value, int precision, const char* unit) {
  if (std::isnan(value)) return "n/a";
  return logfile::formatNumber(value, precision) + " " + unit;
}

}  // namespace

void RecordSummary::add(Clock::time_point at, const Watts& watts, double windowSeconds) {
  const double held = meter_.add(at, watts, windowSeconds);
  ++samples_;
  for (std::size_t d = 0; d < kDomains; ++d) {
    if (!isReading(watts[d])) continue;
    heldSeconds_[d] += held;
    peak_[d] = seen_[d] ? std::max(peak_[d], watts[d]) : watts[d];
    seen_[d] = true;
  }
}

double RecordSummary::averageWatts(std::size_t domain) const {
  if (!seen_[domain]) return std::numeric_limits<double>::quiet_NaN();
  // A single first sample with no window has no time to average over: its power is the figure.
  if (heldSeconds_[domain] <= 0) return peak_[domain];
  return meter_.joules()[domain] / heldSeconds_[domain];
}

double RecordSummary::peakWatts(std::size_t domain) const {
  return seen_[domain] ? peak_[domain] : std::numeric_limits<double>::quiet_NaN();
}

std::string RecordSummary::text(double recordedSeconds) const {
  std::string out = "recorded " + logfile::formatNumber(recordedSeconds, 1) +
                    " s: " + std::to_string(samples_) + (samples_ == 1 ? " sample" : " samples") +
                    " covering " + logfile::formatNumber(coveredSeconds(), 3) + " s\n";
  char line[160];
  std::snprintf(line, sizeof line, "%-8s %12s %12s %14s\n", "power", "average", "peak", "energy");
  out += line;
  for (std::size_t d = 0; d < kDomains; ++d) {
    const double joules = seen_[d] ? meter_.joules()[d] : std::numeric_limits<double>::quiet_NaN();
    std::snprintf(line, sizeof line, "%-8s %12s %12s %14s %14s\n", kNames[d],
                  cell(averageWatts(d), 3, "W").c_str(), cell(peakWatts(d), 3, "W").c_str(),
                  cell(joules, 3, "J").c_str(), cell(joules / 3600, 6, "Wh").c_str());
    out += line;
  }
  return out;
}

}  // namespace record
