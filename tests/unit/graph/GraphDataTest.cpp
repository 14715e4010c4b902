// Equality and hashing of a series, which decide when a curve counts as new.
#include <gtest/gtest.h>

#include <limits>
#include <unordered_set>

#include "app/ui/graph/GraphData.h"

namespace {

const GraphData kBase{"a", {0.5, 0.0, 1.0}, QColor(0, 122, 255)};

TEST(GraphDataEquality, TakesIdValuesAndColour) {
  const QColor blue(0, 122, 255);
  const struct {
    const char* name;
    GraphData other;
    bool equal;
  } cases[] = {{"same", kBase, true},
               {"negative zero", {"a", {0.5, -0.0, 1.0}, blue}, true},
               {"other id", {"b", {0.5, 0.0, 1.0}, blue}, false},
               {"other value", {"a", {0.5, 0.0, 0.9}, blue}, false},
               {"shorter", {"a", {0.5, 0.0}, blue}, false},
               {"other colour", {"a", {0.5, 0.0, 1.0}, QColor(0, 122, 254)}, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(kBase == c.other, c.equal);
    if (c.equal) {
      EXPECT_EQ(qHash(kBase, 7), qHash(c.other, 7));
    }
  }
}

TEST(GraphDataHash, SpreadsDistinctSeries) {
  std::unordered_set<size_t> hashes;
  for (int i = 0; i < 200; ++i) {
    hashes.insert(std::hash<GraphData>{}(GraphData{"s", {i / 200.0}, Qt::red}));
  }
  EXPECT_GT(hashes.size(), 190u);
}

TEST(GraphDataEquality, NaNNeverEqualsItself) {
  const GraphData withNaN{"a", {std::numeric_limits<double>::quiet_NaN()}, Qt::red};
  const GraphData copy = withNaN;  // shares its values with the original
  EXPECT_FALSE(withNaN == copy);
}

}  // namespace
