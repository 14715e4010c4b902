#include "app/ui/LegendViewGeometry.h"

#include <algorithm>
#include <cmath>

#include "app/ui/GraphLineTitle.h"
#include "app/ui/LegendEntryGeometry.h"

LegendViewGeometry::LegendViewGeometry(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFixedHeight(int(LegendEntryGeometry::kBandHeight));
}

void LegendViewGeometry::setEntries(const QList<LegendEntry*>& entries) {
  for (LegendEntry* old : std::as_const(entries_)) {
    if (!entries.contains(old)) delete old;
  }
  entries_ = entries;
  bandTop_ = 0;
  overflowBottom_ = 0;
  for (LegendEntry* entry : entries_) {
    entry->setParent(this);
    bandTop_ = std::max(bandTop_, int(std::ceil(entry->overflowTop())));
    overflowBottom_ = std::max(overflowBottom_, int(std::ceil(entry->overflowBottom())));
  }
  setFixedHeight(bandTop_ + int(LegendEntryGeometry::kBandHeight) + overflowBottom_);
  place();
  for (LegendEntry* entry : entries_)
    entry->show();
}

QSize LegendViewGeometry::sizeHint() const {
  return {0, height()};
}
QSize LegendViewGeometry::minimumSizeHint() const {
  return {0, height()};
}

void LegendViewGeometry::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  place();
}

void LegendViewGeometry::place() {
  // Entries keep their fixed widths; what does not fit is cut at the right edge, as a spacer
  // that shrinks to nothing would leave it.
  qreal x = 0;
  for (LegendEntry* entry : entries_) {
    entry->setBandTop(bandTop_);
    entry->move(int(std::round(x)), 0);
    x += entry->entryWidth() + kSpacing;
  }
}
