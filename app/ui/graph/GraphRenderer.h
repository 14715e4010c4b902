// Draws a graph into two cached images and redraws only what changed.
//
// Four graphs refresh every second for as long as the window is open, and a wide antialiased
// stroke is the expensive part, so the renderer keeps:
// - the background (grid and label column), redrawn only when size, scale, appearance or
//   labels change;
// - the curves, one transparent layer over the plot. When every series has just gained one
//   newest value, the layer is moved one point to the left and only a narrow strip at the right
//   edge is stroked again (and, where a history dropped its oldest value in sight, a narrow
//   band around it), which gives the same pixels as a full redraw.
#pragma once

#include <QImage>
#include <QList>
#include <QSize>
#include <QStringList>

#include "app/ui/graph/GraphData.h"

class QPainter;

class GraphRenderer {
 public:
  enum class Work { None, Scrolled, Redrawn };

  // Brings both images up to date for a widget of `size` logical points. Returns what had to
  // be done to the curves.
  Work update(const QStringList& axisLabels, const QList<GraphData>& datas, QSize size,
              qreal devicePixelRatio, bool dark);

  // Draws the images at the widget's origin.
  void paint(QPainter& painter) const;

  const QImage& background() const { return background_; }
  const QImage& curves() const { return curves_; }
  // Background and curves as one image the size of the widget, for tests and screenshots.
  QImage composed() const;

  static constexpr int kStripWidth = 8;  // points redrawn at the right edge when scrolling

 private:
  struct Curve {
    QColor color;
    QList<double> data;
  };

  void drawBackground(const QStringList& axisLabels, QSize size, qreal dpr, bool dark);
  bool canScroll(const QList<GraphData>& datas, QSizeF plot) const;
  bool unchanged(const QList<GraphData>& datas) const;
  void drawCurves(const QList<GraphData>& datas, QSizeF plot, qreal dpr);
  void scrollCurves(const QList<GraphData>& datas, QSizeF plot);
  void redrawBand(const QList<GraphData>& datas, QSizeF plot, int x0, int x1);

  // What the images were drawn from.
  QSize size_;
  qreal dpr_ = 0;
  bool dark_ = false;
  QStringList labels_;
  QList<Curve> drawn_;
  bool hasCurves_ = false;

  QImage background_;
  QImage curves_;
};
