#include "app/ui/ModuleView.h"

#include <QMetaObject>
#include <QPointer>

#include "app/core/NotificationCenter.h"
#include "app/ui/GraphLineTitle.h"
#include "app/ui/LegendEntryGeometry.h"
#include "app/ui/LegendViewGeometry.h"
#include "app/ui/ModuleTitle.h"
#include "app/ui/graph/GraphView.h"

namespace {

bool sameShape(const LegendRow& a, const LegendRow& b) {
  return a.label == b.label && a.labelDown == b.labelDown && a.color == b.color &&
         a.width == b.width;
}

}  // namespace

ModuleView::ModuleView(qreal height, qreal graphTopPadding, QWidget* parent)
    : ModuleViewDecoration(height, nullptr, parent),
      graphTopPadding_(graphTopPadding),
      title_(new ModuleTitle({}, {}, {}, this)),
      legend_(new LegendViewGeometry(this)),
      graph_(new GraphView(this)) {
  graph_->setBackdrop(&ModuleViewDecoration::surface);
}

void ModuleView::watchDefaults() {
  // Settings are written on the main thread by the settings window; a write from elsewhere is
  // carried over to it. The observer goes with this view.
  QPointer<ModuleView> self(this);
  NotificationCenter::defaultCenter().addObserver(
      notifications::kUserDefaultsDidChange, this, [self] {
        if (self) QMetaObject::invokeMethod(self.data(), &ModuleView::refresh, Qt::AutoConnection);
      });
}

void ModuleView::refresh() {
  const ModuleTitleRow row = titleRow();
  const bool retitled = !shownTitle_ || !(*shownTitle_ == row);
  if (retitled) {
    title_->setLabels(row.labelLeft, row.labelRight, row.help);
    shownTitle_ = row;
  }
  ModuleBodyRows body = bodyRows();
  const bool reshaped = setLegend(body.legend);
  graph_->setGraph(std::move(body.axisLabels), std::move(body.datas));
  // New values move nothing: the card is laid out again only when its rows change shape.
  if (retitled || reshaped) place();
}

bool ModuleView::setLegend(const QList<LegendRow>& rows) {
  const bool sameEntries = rows.size() == legendShape_.size() &&
                           std::equal(rows.cbegin(), rows.cend(), legendShape_.cbegin(), sameShape);
  if (sameEntries) {
    // The usual sample: the same entries with new values. Widths are fixed, so nothing moves.
    for (qsizetype i = 0; i < rows.size(); ++i) {
      LegendEntry* entry = legend_->entries()[i];
      entry->setValue(rows[i].value);
      if (entry->toolTip() != rows[i].help) entry->setToolTip(rows[i].help);
    }
    return false;
  }
  QList<LegendEntry*> entries;
  for (const LegendRow& row : rows) {
    if (row.labelDown.isEmpty()) {
      entries.append(new GraphSingleLineTitle(row.label, row.value, row.color, row.width));
    } else {
      entries.append(
          new GraphDoubleLineTitle(row.label, row.labelDown, row.value, row.color, row.width));
    }
    entries.last()->setToolTip(row.help);
  }
  legend_->setEntries(entries);
  legendShape_ = rows;
  return true;
}

QRect ModuleView::graphRect() const {
  const QRect content = contentRect();
  const int top = content.top() + title_->sizeHint().height() +
                  int(LegendEntryGeometry::kBandHeight) + int(graphTopPadding_);
  return QRect(content.left(), top, content.width(), std::max(0, content.bottom() + 1 - top));
}

void ModuleView::place() {
  const QRect content = contentRect();
  const int titleHeight = title_->sizeHint().height();
  title_->setGeometry(content.left(), content.top(), content.width(), titleHeight);
  // The band starts under the title; the widget reaches above it by what its entries overhang.
  legend_->setGeometry(content.left(), content.top() + titleHeight - legend_->bandTop(),
                       content.width(), legend_->height());
  graph_->setGraphGeometry(graphRect());
}

void ModuleView::resizeEvent(QResizeEvent* event) {
  ModuleViewDecoration::resizeEvent(event);
  place();
}
