// One series of a graph: its values as fractions of the axis maximum, newest first.
#pragma once

#include <QColor>
#include <QHashFunctions>
#include <QList>
#include <QString>

#include "app/ui/Style.h"

#include <cstddef>
#include <functional>

struct GraphData {
  QString id;          // a label for the series; module views give it a fresh UUID per build
  QList<double> data;  // 0.0 is the plot's bottom, 1.0 its top; index 0 is the newest sample
  ThemedColor color;   // stroke colour of the curve; a named one is resolved when painting

  // Compares id, then each value, then colour. Values compare as doubles (-0.0 equals 0.0, and
  // a series holding a NaN differs from itself); the renderer's cache compares bits instead.
  friend bool operator==(const GraphData& a, const GraphData& b);
};

// Consistent with ==: negative zero hashes like zero.
size_t qHash(const GraphData& graph, size_t seed = 0) noexcept;

template <>
struct std::hash<GraphData> {
  size_t operator()(const GraphData& graph) const noexcept { return qHash(graph); }
};
