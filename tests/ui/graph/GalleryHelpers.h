// Shared helpers of the drawing tests: sample series, palettes and PNG artifacts.
#pragma once

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPalette>
#include <QWidget>

#include <cmath>

#include "app/ui/Style.h"
#include "app/ui/graph/GraphData.h"

namespace gallery {

inline QPalette palette(bool dark) {
  return Style::windowPalette(dark);
}

// Opaque pixels within a few steps of `color` in every channel.
inline int count(const QImage& image, const QColor& color, int tolerance = 6) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QRgb p = image.pixel(x, y);
      n += qAlpha(p) == 255 && std::abs(qRed(p) - color.red()) <= tolerance &&
           std::abs(qGreen(p) - color.green()) <= tolerance &&
           std::abs(qBlue(p) - color.blue()) <= tolerance;
    }
  }
  return n;
}

// A wavy series of `count` values between `low` and `high`, newest first.
inline QList<double> wave(int count, double low, double high, double phase) {
  QList<double> values;
  for (int i = 0; i < count; ++i) {
    const double t = 0.5 + 0.5 * std::sin(i * 0.07 + phase) * std::cos(i * 0.023 + 2 * phase);
    values.append(low + (high - low) * t);
  }
  return values;
}

inline QList<GraphData> fourSeries(bool dark, int count = 350) {
  return {{"cpu", wave(count, 0.10, 0.55, 0.0), Style::color(NamedColor::Cyan, dark)},
          {"pkg", wave(count, 0.20, 0.85, 1.0), Style::color(NamedColor::Blue, dark)},
          {"dram", wave(count, 0.02, 0.15, 2.0), Style::color(NamedColor::Orange, dark)},
          {"gpu", wave(count, 0.05, 0.40, 3.0), Style::color(NamedColor::Pink, dark)}};
}

// Renders a widget on its window colour, as it would look in the window.
inline QImage shot(QWidget& widget, bool dark) {
  widget.setPalette(palette(dark));
  widget.ensurePolished();
  if (widget.size().isEmpty()) widget.adjustSize();
  QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Style::color(NamedColor::WindowBackground, dark));
  widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

// Renders only what the widget itself draws, on transparency.
inline QImage bare(QWidget& widget) {
  QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

inline bool neutral(QRgb pixel) {
  // Grid, labels and backgrounds are grey; only curves and bars carry colour.
  const int r = qRed(pixel), g = qGreen(pixel), b = qBlue(pixel);
  return std::abs(r - g) <= 2 && std::abs(g - b) <= 2;
}

inline int colouredPixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      n += !neutral(image.pixel(x, y));
  return n;
}

// Writes the image as a PNG artifact and reads it back: true only when the file now holds
// exactly this image, so a file left by an earlier run never counts.
inline bool save(const QImage& image, const QString& name) {
  const QString dir = QStringLiteral(FERROLUX_BUILD_DIR "/artifacts/gallery");
  QDir().mkpath(dir);
  const QString path = dir + '/' + name + ".png";
  QFile::remove(path);
  if (!image.save(path)) return false;
  const QImage back(path);
  return !back.isNull() && back.convertToFormat(image.format()) == image;
}

}  // namespace gallery
