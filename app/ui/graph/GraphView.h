// The scrolling history graph of a measurement module: curves over a faint grid, with the axis
// labels in a narrow column at the right. It keeps no data between refreshes beyond what it was
// last given; the module view hands it the current labels and series on every sample.
#pragma once

#include <QList>
#include <QStringList>
#include <QWidget>

#include "app/ui/graph/GraphData.h"
#include "app/ui/graph/GraphRenderer.h"

class GraphView : public QWidget {
  Q_OBJECT

 public:
  explicit GraphView(QWidget* parent = nullptr);
  GraphView(QStringList axisLabels, QList<GraphData> datas, QWidget* parent = nullptr);

  // Replaces labels and series (top label first; series drawn in order, later ones on top).
  void setGraph(QStringList axisLabels, QList<GraphData> datas);

  const QStringList& axisLabels() const { return axisLabels_; }
  const QList<GraphData>& datas() const { return datas_; }

  // What the last paint had to do to the curves; for tests and measurements.
  GraphRenderer::Work lastWork() const { return lastWork_; }

  // Places the view so that its plot and label column fill `graph` exactly. The widget reaches
  // half a label box beyond `graph` above and below, where the edge labels, centred on the
  // plot's top and bottom edges, overhang; the parent leaves that room in its paddings.
  void setGraphGeometry(const QRect& graph);

  // Takes all the space offered: no minimum and no preferred size of its own.
  QSize sizeHint() const override { return {0, 0}; }
  QSize minimumSizeHint() const override { return {0, 0}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QStringList axisLabels_;
  QList<GraphData> datas_;
  GraphRenderer renderer_;
  GraphRenderer::Work lastWork_ = GraphRenderer::Work::None;
};
