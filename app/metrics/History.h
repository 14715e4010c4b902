// The history convention shared by every module model: newest value first, at most 350 values.
#pragma once

#include <cstddef>
#include <vector>

using History = std::vector<double>;

inline constexpr std::size_t kHistoryLength = 350;

// Inserts `value` at the front and drops whatever falls past the last kept point.
inline void pushHistory(History& history, double value) {
  if (history.capacity() < kHistoryLength + 1) history.reserve(kHistoryLength + 1);
  history.insert(history.begin(), value);
  if (history.size() > kHistoryLength) history.resize(kHistoryLength);
}
