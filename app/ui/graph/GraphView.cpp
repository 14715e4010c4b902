#include "app/ui/graph/GraphView.h"

#include <QEvent>
#include <QPainter>

#include "app/ui/Style.h"
#include "app/ui/graph/GraphGeometry.h"

class GraphView::Plot : public QWidget {
 public:
  explicit Plot(GraphView* graph) : QWidget(graph), graph_(graph) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    graph_->render();
    QPainter painter(this);
    graph_->renderer_.paintPlot(painter);
  }

 private:
  GraphView* graph_;
};

GraphView::GraphView(QWidget* parent) : QWidget(parent), plot_(new Plot(this)) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

GraphView::GraphView(QStringList axisLabels, QList<GraphData> datas, QWidget* parent)
    : GraphView(parent) {
  setGraph(std::move(axisLabels), std::move(datas));
}

void GraphView::setGraph(QStringList axisLabels, QList<GraphData> datas) {
  const bool relabelled = axisLabels != axisLabels_;
  axisLabels_ = std::move(axisLabels);
  datas_ = std::move(datas);
  // New values change the plot alone; the label column stays as it is.
  if (relabelled) {
    update();
  } else {
    plot_->update();
  }
}

void GraphView::setBackdrop(Backdrop backdrop) {
  backdrop_ = std::move(backdrop);
  backdropChanged();
}

QColor GraphView::backdropColor() const {
  return backdrop_ ? backdrop_(palette()) : QColor(Qt::transparent);
}

void GraphView::backdropChanged() {
  // Opaque, the plot covers everything under it, and Qt can leave that unpainted.
  plot_->setAttribute(Qt::WA_OpaquePaintEvent, backdropColor().alpha() == 255);
  update();
}

void GraphView::setGraphGeometry(const QRect& graph) {
  const int overhang = int(GraphLayout::kLabelOverhang);
  setGeometry(graph.adjusted(0, -overhang, 0, overhang));
}

void GraphView::render() {
  renderer_.update(axisLabels_, datas_, size(), devicePixelRatioF(), Style::isDark(palette()),
                   backdropColor());
}

void GraphView::paintEvent(QPaintEvent*) {
  render();
  QPainter painter(this);
  renderer_.paintLabels(painter);
}

void GraphView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  plot_->setGeometry(GraphLayout::forWidget(size()).plot.toAlignedRect());
}

void GraphView::changeEvent(QEvent* event) {
  // The appearance and the backdrop are part of the cache key, so a repaint is all a theme
  // switch needs.
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
    backdropChanged();
  }
  QWidget::changeEvent(event);
}
