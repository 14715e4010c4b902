// Legend entry placement and the style map, checked on numbers only.
#include <gtest/gtest.h>

#include <QPalette>

#include "app/ui/LegendEntryGeometry.h"
#include "app/ui/Style.h"

namespace {

TEST(SingleLine, LabelLeftValueRightBarUnderneath) {
  const struct {
    const char* name;
    qreal width;
    QSizeF label, value;
    QRectF labelRect, valueRect;
  } cases[] = {
      // Bottom-aligned: the smaller label sits on the value's baseline row.
      {"fits", 65, {20, 12}, {30, 16}, {0, 6, 20, 12}, {35, 2, 30, 16}},
      // Both too wide: the label keeps half the entry (less its 4 pt), the value the rest.
      {"both too wide share", 65, {50, 12}, {40, 16}, {0, 6, 28.5, 12}, {32.5, 2, 32.5, 16}},
      // A long value ("9999.99") is drawn smaller beside its whole label, never over it.
      {"value shrinks beside its label", 65, {20, 12}, {90, 16}, {0, 6, 20, 12}, {24, 2, 41, 16}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const LegendEntryLayout layout = LegendEntryGeometry::singleLine(c.width, c.label, c.value);
    EXPECT_EQ(layout.label, c.labelRect);
    EXPECT_EQ(layout.value, c.valueRect);
    // The bar is exactly the entry's width, 4 high, centred on the row and moved down by 10.
    EXPECT_EQ(layout.bar, QRectF(0, 18, c.width, 4));
    EXPECT_EQ(layout.row.width(), c.width);
    EXPECT_DOUBLE_EQ(layout.row.center().y(), 10);
  }
}

TEST(DoubleLine, StacksLabelsAndMovesThemAsDrawn) {
  const LegendEntryLayout layout =
      LegendEntryGeometry::doubleLine(85, {25, 12}, {22, 12}, {40, 16});
  // Column 24 high, centred on the band: 12 pt above and below its centre.
  EXPECT_EQ(layout.row, QRectF(0, -2, 85, 24));
  EXPECT_EQ(layout.label, QRectF(0, 2, 25, 12));       // moved down by 4
  EXPECT_EQ(layout.labelDown, QRectF(0, 10, 22, 12));  // under the upper label's place
  EXPECT_EQ(layout.value, QRectF(45, 4, 40, 16));      // centred, then moved down by 2
  EXPECT_EQ(layout.bar, QRectF(0, 24, 85, 4));
  // It reaches 2 above the band and 8 below it.
  EXPECT_EQ(layout.bounds(), QRectF(0, -2, 85, 30));
}

TEST(DoubleLine, KeepsItsWidthWithLongTexts) {
  const LegendEntryLayout layout =
      LegendEntryGeometry::doubleLine(65, {80, 12}, {70, 12}, {30, 16});
  EXPECT_EQ(layout.bar.width(), 65);
  EXPECT_EQ(layout.label.width(), 31);
  EXPECT_EQ(layout.labelDown.width(), 35);
  EXPECT_LE(layout.bounds().right(), 65);
}

// The upper label moves down 4 pt only where the fonts leave 2 pt of blank between the labels.
TEST(DoubleLine, UpperLabelOffsetKeepsTheInkApart) {
  EXPECT_EQ(LegendEntryGeometry::upperLabelOffset(3, 3), 4);
  EXPECT_EQ(LegendEntryGeometry::upperLabelOffset(2.5, 2), 2.5);
  EXPECT_EQ(LegendEntryGeometry::upperLabelOffset(1, 0.5), 0);
  EXPECT_EQ(LegendEntryGeometry::doubleLine(85, {25, 12}, {22, 12}, {40, 16}, 1).label.top(), -1);
}

TEST(Style, DarkIsReadFromTheWindowColour) {
  QPalette light;
  light.setColor(QPalette::Window, QColor(236, 236, 236));
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(40, 40, 40));
  EXPECT_FALSE(Style::isDark(light));
  EXPECT_TRUE(Style::isDark(dark));
  EXPECT_EQ(Style::color(NamedColor::Foreground, light), QColor(Qt::black));
  EXPECT_EQ(Style::color(NamedColor::Foreground, dark), QColor(Qt::white));
}

TEST(Style, EveryNamedColourHasTwoDistinctVariants) {
  for (NamedColor name : {NamedColor::Blue, NamedColor::Cyan, NamedColor::Orange, NamedColor::Pink,
                          NamedColor::Purple, NamedColor::Foreground, NamedColor::Label,
                          NamedColor::SecondaryLabel, NamedColor::WindowBackground}) {
    EXPECT_TRUE(Style::color(name, false).isValid());
    EXPECT_NE(Style::color(name, false), Style::color(name, true)) << int(name);
  }
  // The five series colours must tell curves apart in either appearance.
  for (bool dark : {false, true}) {
    QList<QRgb> seen;
    for (NamedColor name : {NamedColor::Blue, NamedColor::Cyan, NamedColor::Orange,
                            NamedColor::Pink, NamedColor::Purple}) {
      const QRgb rgb = Style::color(name, dark).rgb();
      EXPECT_FALSE(seen.contains(rgb));
      seen.append(rgb);
    }
  }
}

TEST(Style, TextStylesDescendInSize) {
  EXPECT_GT(Style::pointSize(TextStyle::Title2), Style::pointSize(TextStyle::Title3));
  EXPECT_GT(Style::pointSize(TextStyle::Title3), Style::pointSize(TextStyle::Body));
  EXPECT_EQ(Style::pointSize(TextStyle::Headline), Style::pointSize(TextStyle::Body));
  EXPECT_GT(Style::pointSize(TextStyle::Body), Style::pointSize(TextStyle::Footnote));
  EXPECT_EQ(Style::pointSize(TextStyle::Caption2), Style::pointSize(TextStyle::Footnote));
}

}  // namespace
