// A long series drawn into a narrow plot: for each pixel column, the lowest and the highest
// value of the rows that fall into it, in the order they came. Every row counts, so a one-row
// peak in a day of samples still reaches its height; skipping rows would lose it.
//
// Also the figures a legend shows over a whole recording: average and peak.
//
// Threads: pure functions over plain values.
#pragma once

#include <vector>

namespace plot {

struct ColumnSpan {
  double first = 0;       // the extreme reached first (the low or the high one)
  double second = 0;      // the other; equal to first for a column of one value
  bool filled = false;    // false: no row with a reading falls into this column
  bool afterGap = false;  // a row without a reading came before this column's first reading
};

// `columns` spans over the time range [t0, t1]: row i (at times[i]) falls into the column
// floor((times[i] - t0) / (t1 - t0) * columns), the last time into the last column. Values that
// are not numbers are skipped, and break the line: the next column's span says so.
std::vector<ColumnSpan> envelope(const std::vector<double>& times,
                                 const std::vector<double>& values, double t0, double t1,
                                 int columns);

struct SeriesFigures {
  double average;  // NaN when the series has no reading
  double peak;
};

// The plain mean and the maximum of the readings.
SeriesFigures figures(const std::vector<double>& values);

}  // namespace plot
