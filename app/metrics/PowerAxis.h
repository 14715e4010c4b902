// The power graph's scale: label lists chosen by the largest package power in the history.
#pragma once

#include <QStringList>

#include <vector>

struct PowerAxisRow {
  double bound;        // the row applies when the largest value is at most this
  QStringList labels;  // top first, ending in "0"
};

// The 20 rows, in order; the last one (bound: infinity) repeats the 800 W scale.
const std::vector<PowerAxisRow>& powerAxisTable();

// The labels for a largest value of `maxValue`; values past the last bound (and NaN) get the
// last row.
const QStringList& powerAxisLabels(double maxValue);
