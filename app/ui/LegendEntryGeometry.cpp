#include "app/ui/LegendEntryGeometry.h"

#include <algorithm>

namespace {

using namespace LegendEntryGeometry;

QRectF bar(qreal width, qreal offset) {
  // Centred on the row (whose centre is the band's), then moved down.
  return QRectF(0, kBandHeight / 2 - kBarHeight / 2 + offset, width, kBarHeight);
}

}  // namespace

QRectF LegendEntryLayout::bounds() const {
  QRectF all(0, 0, bar.width(), LegendEntryGeometry::kBandHeight);
  for (const QRectF& part : {row, label, labelDown, value, bar}) {
    if (!part.isNull()) all = all.united(part);
  }
  return all;
}

qreal LegendEntryGeometry::labelRoom(qreal width, qreal labels, qreal value) {
  // Both fit: the labels take what they need. Otherwise they keep at least half the entry and
  // the value, drawn smaller, takes the rest, so neither a name nor a number turns into "…".
  return std::min(labels, std::max(width / 2, width - value));
}

qreal LegendEntryGeometry::upperLabelOffset(qreal upperDescent, qreal lowerHeadroom) {
  // The move may use what lies between the upper label's baseline and the lower label's cap
  // height, less a gap that stays blank at every scale.
  return std::clamp<qreal>(upperDescent + lowerHeadroom - kMinInkGap, 0, kUpperLabelOffset);
}

LegendEntryLayout LegendEntryGeometry::singleLine(qreal width, QSizeF label, QSizeF value) {
  width = std::max<qreal>(0, width);
  const qreal rowHeight = std::max(label.height(), value.height());
  const qreal top = kBandHeight / 2 - rowHeight / 2;
  const qreal bottom = top + rowHeight;
  const qreal labelWidth = std::max<qreal>(
      0, labelRoom(width, label.width() + kLabelTrailing, value.width()) - kLabelTrailing);
  const qreal valueWidth = std::clamp<qreal>(width - labelWidth - kLabelTrailing, 0, value.width());

  LegendEntryLayout layout;
  layout.row = QRectF(0, top, width, rowHeight);
  layout.label = QRectF(0, bottom - label.height(), labelWidth, label.height());
  layout.value = QRectF(width - valueWidth, bottom - value.height(), valueWidth, value.height());
  layout.bar = bar(width, kSingleBarOffset);
  return layout;
}

LegendEntryLayout LegendEntryGeometry::doubleLine(qreal width, QSizeF labelUp, QSizeF labelDown,
                                                  QSizeF value, qreal upperOffset) {
  width = std::max<qreal>(0, width);
  const qreal columnHeight = labelUp.height() + labelDown.height();
  const qreal rowHeight = std::max(columnHeight, value.height());
  const qreal top = kBandHeight / 2 - rowHeight / 2;
  const qreal columnTop = top + (rowHeight - columnHeight) / 2;
  const qreal column = labelRoom(
      width, std::max(labelUp.width() + kLabelTrailing, labelDown.width()), value.width());
  const qreal valueWidth = std::clamp<qreal>(width - column, 0, value.width());
  const qreal upWidth = std::clamp<qreal>(column - kLabelTrailing, 0, labelUp.width());
  const qreal downWidth = std::min(column, labelDown.width());

  LegendEntryLayout layout;
  layout.row = QRectF(0, top, width, rowHeight);
  // The upper label is moved after layout, towards the lower one but never onto it.
  layout.label = QRectF(0, columnTop + upperOffset, upWidth, labelUp.height());
  layout.labelDown = QRectF(0, columnTop + labelUp.height(), downWidth, labelDown.height());
  layout.value =
      QRectF(width - valueWidth, top + (rowHeight - value.height()) / 2 + kDoubleValueOffset,
             valueWidth, value.height());
  layout.bar = bar(width, kDoubleBarOffset);
  return layout;
}
