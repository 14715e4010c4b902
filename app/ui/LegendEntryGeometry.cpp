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

LegendEntryLayout LegendEntryGeometry::singleLine(qreal width, QSizeF label, QSizeF value) {
  width = std::max<qreal>(0, width);
  const qreal rowHeight = std::max(label.height(), value.height());
  const qreal top = kBandHeight / 2 - rowHeight / 2;
  const qreal bottom = top + rowHeight;
  const qreal valueWidth = std::min(value.width(), width);
  const qreal labelWidth = std::clamp<qreal>(width - valueWidth - kLabelTrailing, 0, label.width());

  LegendEntryLayout layout;
  layout.row = QRectF(0, top, width, rowHeight);
  layout.label = QRectF(0, bottom - label.height(), labelWidth, label.height());
  layout.value = QRectF(width - valueWidth, bottom - value.height(), valueWidth, value.height());
  layout.bar = bar(width, kSingleBarOffset);
  return layout;
}

LegendEntryLayout LegendEntryGeometry::doubleLine(qreal width, QSizeF labelUp, QSizeF labelDown,
                                                  QSizeF value) {
  width = std::max<qreal>(0, width);
  const qreal columnHeight = labelUp.height() + labelDown.height();
  const qreal rowHeight = std::max(columnHeight, value.height());
  const qreal top = kBandHeight / 2 - rowHeight / 2;
  const qreal columnTop = top + (rowHeight - columnHeight) / 2;
  const qreal valueWidth = std::min(value.width(), width);
  const qreal room = std::max<qreal>(0, width - valueWidth);
  const qreal upWidth = std::clamp<qreal>(room - kLabelTrailing, 0, labelUp.width());
  const qreal downWidth = std::min(room, labelDown.width());

  LegendEntryLayout layout;
  layout.row = QRectF(0, top, width, rowHeight);
  // The upper label is moved after layout, so it overlaps the lower one a little by design.
  layout.label = QRectF(0, columnTop + kUpperLabelOffset, upWidth, labelUp.height());
  layout.labelDown = QRectF(0, columnTop + labelUp.height(), downWidth, labelDown.height());
  layout.value =
      QRectF(width - valueWidth, top + (rowHeight - value.height()) / 2 + kDoubleValueOffset,
             valueWidth, value.height());
  layout.bar = bar(width, kDoubleBarOffset);
  return layout;
}
