// What a measurement module contributes to the card frame they all share: its rows of the
// window's tables. The title row comes from the module's Static part, the legend and graph rows
// from its Dynamic part, each built afresh from the model and the settings on every refresh.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <limits>

#include "app/metrics/History.h"
#include "app/ui/Style.h"
#include "app/ui/graph/GraphData.h"

// The card's title line.
struct ModuleTitleRow {
  QString labelLeft;
  QString labelRight;
  QString help;
  friend bool operator==(const ModuleTitleRow&, const ModuleTitleRow&) = default;
};

// One legend entry: a two-line entry when labelDown is not empty.
struct LegendRow {
  LegendRow() = default;
  LegendRow(QString label, QString labelDown, QString value, ThemedColor color, qreal width,
            QString help = {})
      : label(std::move(label)),
        labelDown(std::move(labelDown)),
        value(std::move(value)),
        color(color),
        width(width),
        help(std::move(help)) {}

  QString label;
  QString labelDown;
  QString value;
  ThemedColor color;
  qreal width = 0;
  QString help;  // the entry's tooltip: why a value is not shown, say
};

// The legend row and the graph under it.
struct ModuleBodyRows {
  QList<LegendRow> legend;
  QStringList axisLabels;
  QList<GraphData> datas;
};

namespace ModuleRows {

// A value formatted with a printf format of one double. A value that is not a number (no
// reading, no ticks) shows an en dash rather than "nan"; its curve shows a gap instead.
QString format(const char* printfFormat, double value);

// `value` once `history` holds a sample, else NaN, which format() shows as a dash: before the
// first sample, and after the data are cleared, a model's values are its zeros, not readings.
inline double latest(double value, const History& history) {
  return history.empty() ? std::numeric_limits<double>::quiet_NaN() : value;
}

QString newSeriesId();

// A series with each value mapped by `scale` and a fresh UUID as its id.
template <typename Scale>
GraphData series(const History& history, NamedColor color, Scale scale) {
  GraphData graph{newSeriesId(), {}, color};
  graph.data.reserve(qsizetype(history.size()));
  for (double value : history)
    graph.data.append(scale(value));
  return graph;
}

}  // namespace ModuleRows
