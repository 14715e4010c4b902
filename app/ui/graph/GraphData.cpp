#include "app/ui/graph/GraphData.h"

#include <algorithm>

bool operator==(const GraphData& a, const GraphData& b) {
  // Element by element: QList's own == may compare doubles as raw bytes.
  return a.id == b.id && a.data.size() == b.data.size() &&
         std::equal(a.data.cbegin(), a.data.cend(), b.data.cbegin()) && a.color == b.color;
}

size_t qHash(const GraphData& graph, size_t seed) noexcept {
  QtPrivate::QHashCombine combine;
  seed = combine(seed, graph.id);
  for (double value : graph.data) {
    // -0.0 == 0.0, so both must hash alike.
    seed = combine(seed, value == 0.0 ? 0.0 : value);
  }
  // A named colour hashes as its light variant tagged as named, so it never equals a fixed one.
  const QColor color = graph.color.resolve(false);
  seed = combine(seed, graph.color.isNamed());
  seed = combine(seed, color.spec());
  seed = combine(seed, quint64(color.rgba64()));
  return seed;
}
