// The rows of the four cards over a recording: the window's titles, colours, labels and scales,
// with each legend value the series' average and peak over the whole recording. Power figures
// are the ones `ferrolux record` reports (time-weighted averages, energy held per interval);
// the other modules' averages are plain means of their readings.
//
// Threads: pure functions over plain values.
#pragma once

#include <QList>

#include "app/plot/PlotCard.h"
#include "app/plot/Recording.h"
#include "app/record/RecordSummary.h"

namespace plot {

// Power, frequency, temperature and utilization, top to bottom.
struct PlotCardSpec {
  PlotCardRows rows;
  qreal height;           // the window's card height, with room for a taller graph
  qreal graphTopPadding;  // the window's
};

// The recording's power through the summary `ferrolux record` prints. Each row's power is held
// for the time since the row before it; the first row for the typical interval between rows,
// which stands for the sampler's window the file does not record.
record::RecordSummary summarize(const Recording& recording);

QList<PlotCardSpec> cardSpecs(const Recording& recording, const record::RecordSummary& power);

}  // namespace plot
