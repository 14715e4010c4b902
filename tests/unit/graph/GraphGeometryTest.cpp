// Graph geometry, checked on paths and positions without drawing anything.
#include <gtest/gtest.h>

#include <QPainterPath>

#include <cmath>
#include <limits>
#include <vector>

#include "app/ui/graph/GraphGeometry.h"

namespace {

struct Element {
  bool move;
  qreal x;
  qreal y;
  bool operator==(const Element&) const = default;
};

void PrintTo(const Element& e, std::ostream* os) {
  *os << (e.move ? "M(" : "L(") << e.x << ", " << e.y << ")";
}

std::vector<Element> elements(const QPainterPath& path) {
  std::vector<Element> result;
  for (int i = 0; i < path.elementCount(); ++i) {
    const QPainterPath::Element e = path.elementAt(i);
    EXPECT_NE(e.type, QPainterPath::CurveToElement) << "curves are plain polylines";
    result.push_back({e.isMoveTo(), e.x, e.y});
  }
  return result;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(CurvePath, PlacesNewestOnTheRightOnePointPerSample) {
  const struct {
    const char* name;
    QList<double> data;
    QSizeF plot;
    std::vector<Element> expected;
  } cases[] = {
      {"empty", {}, {200, 100}, {}},
      {"one value", {0.5}, {200, 100}, {{true, 200, 50}}},
      {"edges are exact",
       {0.0, 1.0, 0.0},
       {200, 100},
       {{true, 200, 100}, {false, 199, 0}, {false, 198, 100}}},
      // Values are not clamped: the clip, not the path, hides them.
      {"above top and below bottom", {1.2, -0.5}, {10, 50}, {{true, 10, -10}, {false, 9, 75}}},
      {"x step is one point whatever the width",
       {0.25, 0.25, 0.25},
       {7.5, 8},
       {{true, 7.5, 6}, {false, 6.5, 6}, {false, 5.5, 6}}},
      // A lone point before a gap strokes nothing, and the path drops it.
      {"non-finite breaks the line",
       {0.5, kNaN, 0.5, 0.5, INFINITY, 1e308 * 10, 0.0},
       {10, 10},
       {{true, 8, 5}, {false, 7, 5}, {true, 4, 10}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(elements(GraphViewGraphCurve{c.data}.path(c.plot)), c.expected);
  }
}

TEST(CurvePath, FullHistoryInANarrowPlotRunsPastTheLeftEdge) {
  QList<double> data;
  for (int i = 0; i < 350; ++i)
    data.append((i % 10) / 10.0);
  const auto path = elements(GraphViewGraphCurve{data}.path({200, 100}));
  ASSERT_EQ(path.size(), 350u);
  EXPECT_EQ(path.front(), (Element{true, 200, 100}));
  EXPECT_EQ(path[200], (Element{false, 0, 100}));      // the 201st newest value is on the left edge
  EXPECT_EQ(path.back(), (Element{false, -149, 10}));  // the oldest lies far beyond it
  // Only what can touch the plot is stroked: the older points are cut off, with room to spare
  // for the stroke's width and its longest miter.
  const auto visible = GraphViewGraphCurve::pointsTouching(data.size(), 200, 0, 200);
  EXPECT_EQ(visible.first, 0);
  EXPECT_GT(visible.last, 201 + 8);
  EXPECT_LT(visible.last, 350);
  EXPECT_EQ(elements(GraphViewGraphCurve{data}.path({200, 100}, 0, visible.last)).size(),
            size_t(visible.last));
}

// Value i lies at x = 200 - i; the reach is 12 on either side.
TEST(PointsTouching, CoverTheBandAndTheReachOfTheStroke) {
  const struct {
    const char* name;
    qsizetype count;
    qreal x0, x1;
    qsizetype first, last;
  } cases[] = {{"right strip", 350, 192, 200, 0, 21},
               {"middle band", 350, 100, 110, 78, 113},
               {"whole plot", 350, 0, 200, 0, 213},
               {"short series", 15, 100, 110, 15, 15},
               {"empty", 0, 0, 200, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto range = GraphViewGraphCurve::pointsTouching(c.count, 200, c.x0, c.x1);
    EXPECT_EQ(range.first, c.first);
    EXPECT_EQ(range.last, c.last);
  }
}

TEST(CurvePath, ASliceStartsWithAMove) {
  EXPECT_EQ(elements(GraphViewGraphCurve{{0.0, 0.5, 1.0, 0.5}}.path({10, 10}, 1, 3)),
            (std::vector<Element>{{true, 9, 5}, {false, 8, 0}}));
}

TEST(GridPath, OutlinePlusOneLinePerLabel) {
  const struct {
    const char* name;
    int labels;
    QSizeF plot;
    std::vector<qreal> innerLines;  // y of each line besides the outline
  } cases[] = {{"five labels", 5, {200, 100}, {0, 25, 50, 75}},
               {"six labels", 6, {50, 100}, {0, 20, 40, 60, 80}},
               {"two labels", 2, {50, 60}, {0}},
               {"one label", 1, {50, 100}, {}},
               {"no label", 0, {50, 100}, {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = elements(GraphViewBackgroundLines{c.labels}.path(c.plot));
    const qreal w = c.plot.width();
    const qreal h = c.plot.height();
    // closeSubpath on a closed figure adds nothing, so the outline is exactly five elements.
    std::vector<Element> expected = {
        {true, 0, 0}, {false, w, 0}, {false, w, h}, {false, 0, h}, {false, 0, 0}};
    for (qreal y : c.innerLines) {
      expected.push_back({true, 0, y});
      expected.push_back({false, w, y});
    }
    EXPECT_EQ(path, expected);
  }
}

TEST(LabelPositions, CentreEachLabelOnItsGridLine) {
  const struct {
    const char* name;
    QStringList labels;
    qreal height;
    std::vector<qreal> centres;
  } cases[] = {
      {"five on a hundred", {"4.0", "3.0", "2.0", "1.0", "0.0"}, 100, {0, 25, 50, 75, 100}},
      {"one sits on the top edge", {"100"}, 80, {0}},
      {"none draws nothing", {}, 80, {}},
      {"repeated texts share the first place", {"1", "0", "1", "0"}, 90, {0, 30, 0, 30}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto positions = GraphViewBackgroundLabels{c.labels}.positions(c.height);
    ASSERT_EQ(positions.size(), qsizetype(c.centres.size()));
    for (qsizetype i = 0; i < positions.size(); ++i) {
      EXPECT_EQ(positions[i].text, c.labels[i]);
      EXPECT_DOUBLE_EQ(positions[i].centreY, c.centres[size_t(i)]) << "label " << i;
    }
  }
}

TEST(LabelPositions, BoxIsTenHighFourFromTheLeft) {
  EXPECT_EQ(GraphViewBackgroundLabels::box({"80", 40}, 12), QRectF(4, 35, 12, 10));
}

TEST(GraphLayout, PlotTakesTheWidthLeftByTheLabelColumn) {
  const GraphLayout layout = GraphLayout::forWidget({220, 110});
  EXPECT_EQ(layout.plot, QRectF(0, 5, 200, 100));
  EXPECT_EQ(layout.labelColumn, QRectF(200, 5, 20, 100));
  const GraphLayout tiny = GraphLayout::forWidget({10, 4});
  EXPECT_EQ(tiny.plot.size(), QSizeF(0, 0));
}

}  // namespace
