// One module card over a whole recording: the window's card frame, title and legend row
// (ModuleView) with the graph's grid and axis labels, and over the plot a layer that draws each
// series as its per-column envelope (Envelope.h) against time, with a faint line at each tick of
// the time axis.
//
// Threads: main thread only. The card keeps references to the recording it draws.
#pragma once

#include <QList>
#include <QWidget>

#include <vector>

#include "app/plot/Recording.h"
#include "app/ui/ModuleRows.h"
#include "app/ui/ModuleView.h"

namespace plot {

// One series of a card: a column of the recording, drawn in a colour on the card's scale.
struct PlotSeries {
  Column column;
  ThemedColor color;
};

// What a card shows; the scale maps a reading (in the file's unit) to 0 at the plot's bottom
// and 1 at its top.
struct PlotCardRows {
  ModuleTitleRow title;
  QList<LegendRow> legend;
  QStringList axisLabels;
  QList<PlotSeries> series;  // in drawing order, later ones on top
  double scaleLow = 0;       // the reading at the bottom edge
  double scaleHigh = 1;      // the reading at the top edge
};

class PlotCard : public ModuleView {
  Q_OBJECT

 public:
  PlotCard(const Recording& recording, PlotCardRows rows, std::vector<double> tickSeconds,
           qreal height, qreal graphTopPadding, QWidget* parent = nullptr);

  // Where the curves go, in the card's coordinates.
  QRect plotRect() const;

 protected:
  ModuleTitleRow titleRow() const override { return rows_.title; }
  ModuleBodyRows bodyRows() const override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  class Curves;

  const PlotCardRows rows_;
  Curves* curves_;
};

}  // namespace plot
