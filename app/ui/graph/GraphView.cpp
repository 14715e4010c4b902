#include "app/ui/graph/GraphView.h"

#include <QEvent>
#include <QPainter>

#include "app/ui/Style.h"
#include "app/ui/graph/GraphGeometry.h"

GraphView::GraphView(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  setAttribute(Qt::WA_OpaquePaintEvent, false);
}

GraphView::GraphView(QStringList axisLabels, QList<GraphData> datas, QWidget* parent)
    : GraphView(parent) {
  setGraph(std::move(axisLabels), std::move(datas));
}

void GraphView::setGraph(QStringList axisLabels, QList<GraphData> datas) {
  axisLabels_ = std::move(axisLabels);
  datas_ = std::move(datas);
  update();
}

void GraphView::setGraphGeometry(const QRect& graph) {
  const int overhang = int(GraphLayout::kLabelOverhang);
  setGeometry(graph.adjusted(0, -overhang, 0, overhang));
}

void GraphView::paintEvent(QPaintEvent*) {
  // Drawn lazily: a hidden graph costs nothing, and the cache key (size, scale, appearance)
  // is only known for sure here.
  lastWork_ =
      renderer_.update(axisLabels_, datas_, size(), devicePixelRatioF(), Style::isDark(palette()));
  QPainter painter(this);
  renderer_.paint(painter);
}

void GraphView::changeEvent(QEvent* event) {
  // The appearance is part of the cache key, so a repaint is all a theme switch needs.
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
    update();
  }
  QWidget::changeEvent(event);
}
