// Where the parts of a legend entry go, from the sizes of its texts alone.
//
// Coordinates are points relative to the legend band: the 20 pt high row that holds the
// entries, origin at its top-left, y downwards. An entry's row is centred on the band, and its
// colour bar (and for a two-line entry the texts) reach beyond the band, which is why the
// legend row reserves room above and below it.
#pragma once

#include <QRectF>
#include <QSizeF>

struct LegendEntryLayout {
  QRectF row;
  QRectF label;      // the single label, or the upper of two (already moved down)
  QRectF labelDown;  // the lower label of a two-line entry; empty otherwise
  QRectF value;
  QRectF bar;

  // Everything the entry draws, and the band itself.
  QRectF bounds() const;
};

namespace LegendEntryGeometry {

inline constexpr qreal kBandHeight = 20;
inline constexpr qreal kBarHeight = 4;
inline constexpr qreal kLabelTrailing = 4;  // keeps a label off the value
inline constexpr qreal kSingleBarOffset = 10;
inline constexpr qreal kDoubleBarOffset = 16;
inline constexpr qreal kUpperLabelOffset = 4;
inline constexpr qreal kDoubleValueOffset = 2;
// Blank space kept between the ink of the two stacked labels: at 1x, antialiasing spreads a
// glyph's edge over a neighbouring pixel row, so less than 2 pt can still touch.
inline constexpr qreal kMinInkGap = 2;

// Room for the label part of an entry (`labels` wide, trailing padding included) beside a
// value `value` wide.
qreal labelRoom(qreal width, qreal labels, qreal value);

// How far the upper of two stacked labels moves down: 4 pt where the fonts leave room for it,
// less where the upper label's descent plus the lower label's space above its capitals
// (`lowerHeadroom`, ascent less cap height) would leave under kMinInkGap between their ink.
qreal upperLabelOffset(qreal upperDescent, qreal lowerHeadroom);

// A label and a value on one line, aligned on their bottom edges. Texts too wide for `width`
// share it: the label keeps its width up to half the entry, the value gets the rest and is
// drawn smaller to fit (LegendEntry::fittedFont).
LegendEntryLayout singleLine(qreal width, QSizeF label, QSizeF value);

// Two stacked labels beside a value, all vertically centred; the upper label is moved down by
// `upperOffset`.
LegendEntryLayout doubleLine(qreal width, QSizeF labelUp, QSizeF labelDown, QSizeF value,
                             qreal upperOffset = kUpperLabelOffset);

}  // namespace LegendEntryGeometry
