// A recording as one page: a header with the file's name, its start and end times, its length,
// its sample count and the energy of each power domain, then the window's four cards stacked
// over the whole recording, and the time axis under them. Written as a PNG at twice its size or
// as an SVG drawn by Qt's SVG generator.
//
// Threads: main thread only, in a QApplication (the cards are widgets). The page keeps a
// reference to the recording.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QWidget>

#include "app/plot/Recording.h"

namespace plot {

class PlotCard;

struct PageOptions {
  QString title;            // the recording's file name
  bool dark = false;        // the dark appearance
  int width = 800;          // in points
  bool incomplete = false;  // says so in the header
};

class PlotPage : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinWidth = 400;
  static constexpr int kMaxWidth = 4000;

  PlotPage(const Recording& recording, const PageOptions& options, QWidget* parent = nullptr);

  // The plots of the cards, top to bottom, in the page's coordinates.
  QList<QRect> plotRects() const;

  QByteArray png();  // at twice the page's size
  QByteArray svg();

 private:
  QList<PlotCard*> cards_;
};

}  // namespace plot
