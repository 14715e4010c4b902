// The frame shared by the four measurement modules: a card of fixed height holding the module's
// title line, its legend row and its graph, with every padding between them. A module supplies
// only its rows (ModuleRows.h) through titleRow() and bodyRows(); the frame reads them again on
// each refresh.
//
// Vertical layout inside the card's 8 pt padding, top to bottom: the title line (its own 6 pt
// bottom padding included), the 20 pt legend band, the graph's top padding, then the graph down
// to the padding's bottom edge. The legend's overhanging labels and bars and the graph's edge
// labels reach into the paddings around them, which is why title, legend and graph are placed
// by hand on the card rather than stacked in a layout.
//
// Threads: main thread only. refresh() is cheap when nothing changed: legend entries keep their
// widgets when only values change, and the graph redraws only what moved.
#pragma once

#include <optional>

#include "app/ui/ModuleRows.h"
#include "app/ui/ModuleViewDecoration.h"

class GraphView;
class LegendViewGeometry;
class ModuleTitle;

class ModuleView : public ModuleViewDecoration {
  Q_OBJECT

 public:
  ModuleTitle* title() const { return title_; }
  LegendViewGeometry* legend() const { return legend_; }
  GraphView* graph() const { return graph_; }
  // Where the graph's plot and label column lie, in the card's coordinates.
  QRect graphRect() const;
  qreal graphTopPadding() const { return graphTopPadding_; }

 public slots:
  // Reads the rows again and shows them.
  void refresh();

 protected:
  ModuleView(qreal height, qreal graphTopPadding, QWidget* parent);

  // Repaints on every change of `model` (a module model's changed()) and of the settings.
  template <typename Model>
  void watch(const Model& model) {
    connect(&model, &Model::changed, this, &ModuleView::refresh);
    watchDefaults();
  }

  virtual ModuleTitleRow titleRow() const = 0;
  virtual ModuleBodyRows bodyRows() const = 0;

  void resizeEvent(QResizeEvent* event) override;

 private:
  void watchDefaults();
  // Returns whether the entries changed shape (not only their values).
  bool setLegend(const QList<LegendRow>& rows);
  void place();

  const qreal graphTopPadding_;
  ModuleTitle* title_;
  LegendViewGeometry* legend_;
  GraphView* graph_;
  std::optional<ModuleTitleRow> shownTitle_;
  QList<LegendRow> legendShape_;  // labels, colours and widths of the entries shown
};
