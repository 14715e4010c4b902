// Draws a graph into two cached images and redraws only what changed.
//
// Four graphs refresh every second for as long as the window is open, and a wide antialiased
// stroke is the expensive part, so the renderer keeps:
// - the label column, redrawn only when size, scale, appearance or labels change;
// - the plot: backdrop, grid and curves in one image. When every series has just gained one
//   newest value, the plot is moved one point to the left and only a narrow strip at the right
//   edge is drawn again, from the backdrop and grid up (and, where a history dropped its oldest
//   value in sight, a narrow band around it), which gives the same pixels as a full redraw.
//   The grid's outline has its left side drawn over the curves, so that what scrolls is the
//   same in every column.
// With an opaque backdrop the plot image is opaque too, so a window can show it without
// repainting whatever lies beneath.
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QSize>
#include <QStringList>

#include "app/ui/graph/GraphData.h"

class QPainter;

class GraphRenderer {
 public:
  enum class Work { None, Scrolled, Redrawn };

  // Brings both images up to date for a widget of `size` logical points. `backdrop` is the
  // colour under the plot (transparent: none). Returns what had to be done to the plot.
  Work update(const QStringList& axisLabels, const QList<GraphData>& datas, QSize size,
              qreal devicePixelRatio, bool dark, QColor backdrop = Qt::transparent);

  // Draws the label column at the widget's origin.
  void paintLabels(QPainter& painter) const;
  // Draws the plot at the painter's origin.
  void paintPlot(QPainter& painter) const;
  // Both, at the widget's origin.
  void paint(QPainter& painter) const;

  // Where the plot lies in the widget.
  QPointF plotOrigin() const;
  const QImage& labels() const { return labels_; }
  const QImage& plot() const { return plot_; }
  // Labels and plot as one image the size of the widget, for tests and screenshots.
  QImage composed() const;

  static constexpr int kStripWidth = 8;  // points redrawn at the right edge when scrolling

 private:
  struct Curve {
    QColor color;
    QList<double> data;
  };

  void drawLabels(const QStringList& axisLabels, QSize size, qreal dpr, bool dark);
  void drawBase(qsizetype labelCount, QSizeF plot, qreal dpr, bool dark, QColor backdrop);
  void drawLeftSide();
  bool canScroll(const QList<GraphData>& datas, QSizeF plot) const;
  bool unchanged(const QList<GraphData>& datas) const;
  void drawPlot(const QList<GraphData>& datas, QSizeF plot);
  void scrollPlot(const QList<GraphData>& datas, QSizeF plot);
  void redrawBand(const QList<GraphData>& datas, QSizeF plot, int x0, int x1);

  // What the images were drawn from.
  QSize size_;
  qreal dpr_ = 0;
  bool dark_ = false;
  QColor backdrop_;
  QStringList axisLabels_;
  QList<Curve> drawn_;
  bool hasPlot_ = false;

  QImage labels_;
  QImage base_;      // backdrop and grid: what the plot is drawn on
  QImage leftSide_;  // the grid's left side, drawn over the curves
  QImage plot_;
};
