// The scrolling history graph of a measurement module: curves over a faint grid, with the axis
// labels in a narrow column at the right. It keeps no data between refreshes beyond what it was
// last given; the module view hands it the current labels and series on every sample.
//
// The plot is a child widget of its own. A new sample repaints only it, and when the graph is
// told the flat colour beneath it, the plot is opaque, so nothing under it is painted again.
#pragma once

#include <QColor>
#include <QList>
#include <QPalette>
#include <QStringList>
#include <QWidget>

#include <functional>

#include "app/ui/graph/GraphData.h"
#include "app/ui/graph/GraphRenderer.h"

class GraphView : public QWidget {
  Q_OBJECT

 public:
  // The colour under the plot in a given palette; it must be one flat colour there.
  using Backdrop = std::function<QColor(const QPalette&)>;

  explicit GraphView(QWidget* parent = nullptr);
  GraphView(QStringList axisLabels, QList<GraphData> datas, QWidget* parent = nullptr);

  // Replaces labels and series (top label first; series drawn in order, later ones on top).
  void setGraph(QStringList axisLabels, QList<GraphData> datas);

  const QStringList& axisLabels() const { return axisLabels_; }
  const QList<GraphData>& datas() const { return datas_; }

  // Without a backdrop the plot is see-through.
  void setBackdrop(Backdrop backdrop);

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
  void resizeEvent(QResizeEvent* event) override;

 private:
  class Plot;

  // Brings the renderer up to date; painting calls it, so a hidden graph costs nothing.
  void render();
  QColor backdropColor() const;
  void backdropChanged();

  QStringList axisLabels_;
  QList<GraphData> datas_;
  Backdrop backdrop_;
  GraphRenderer renderer_;
  Plot* plot_;
};
