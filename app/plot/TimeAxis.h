// The time axis under the cards: ticks at a round step of elapsed time, labelled "m:ss" for a
// recording under an hour and "h:mm" from an hour on.
//
// Threads: plain functions and a widget for the main thread.
#pragma once

#include <QString>
#include <QWidget>

#include <vector>

namespace plot {

// Tick times (seconds since the recording's start) over [0, seconds], at the smallest round step
// that leaves at least `minGap` of `width` between two ticks.
std::vector<double> tickSeconds(double seconds, double width, double minGap = 70);

// "m:ss" (mm:ss from ten minutes) when `total` is under an hour, else "h:mm".
QString elapsedLabel(double seconds, double total);

// The labels of `ticks`, each centred under its place on a plot that spans this widget's
// [plotLeft, plotRight] horizontally.
class TimeAxis : public QWidget {
 public:
  TimeAxis(std::vector<double> ticks, double total, QWidget* parent = nullptr);
  void setPlotSpan(int left, int right);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const std::vector<double> ticks_;
  const double total_;
  int left_ = 0;
  int right_ = 0;
};

}  // namespace plot
