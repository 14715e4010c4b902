// Equality and hashing of a series, which decide when a curve counts as new.
#include <gtest/gtest.h>

#include <limits>
#include <unordered_set>

#include "app/ui/graph/GraphData.h"

namespace {

const GraphData kBase{"a", {0.5, 0.0, 1.0}, QColor(0, 122, 255)};

struct Variant {
  const char* name;
  GraphData other;
  bool equal;
};

void PrintTo(const Variant& c, std::ostream* os) {
  *os << c.name;
}

class GraphDataEquality : public testing::TestWithParam<Variant> {};

TEST_P(GraphDataEquality, TakesIdValuesAndColour) {
  const Variant& v = GetParam();
  EXPECT_EQ(kBase == v.other, v.equal);
  if (v.equal) {
    EXPECT_EQ(qHash(kBase, 7), qHash(v.other, 7));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Graph, GraphDataEquality,
    testing::Values(Variant{"Same", kBase, true},
                    Variant{"NegativeZero", {"a", {0.5, -0.0, 1.0}, QColor(0, 122, 255)}, true},
                    Variant{"OtherId", {"b", {0.5, 0.0, 1.0}, QColor(0, 122, 255)}, false},
                    Variant{"OtherValue", {"a", {0.5, 0.0, 0.9}, QColor(0, 122, 255)}, false},
                    Variant{"Shorter", {"a", {0.5, 0.0}, QColor(0, 122, 255)}, false},
                    Variant{"OtherColour", {"a", {0.5, 0.0, 1.0}, QColor(0, 122, 254)}, false}),
    [](const auto& info) { return std::string(info.param.name); });

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
