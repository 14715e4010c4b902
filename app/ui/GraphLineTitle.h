// The legend entries of a module: a series' name, its current value and a bar in its colour
// that matches the curve below. One-line entries show one name; two-line entries stack two.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

#include "app/ui/LegendEntryGeometry.h"
#include "app/ui/Style.h"

// What both kinds of entry share: a fixed width, the colour bar, and a vertical placement
// relative to the legend band (set by the legend row so entries of both kinds line up).
class LegendEntry : public QWidget {
  Q_OBJECT

 public:
  qreal entryWidth() const { return width_; }
  // The bar's colour; a named one is resolved in the entry's current appearance.
  QColor color() const;
  const ThemedColor& themedColor() const { return color_; }
  QString value() const { return value_; }
  void setValue(const QString& value);

  // The layout in band coordinates, from the entry's fonts and texts.
  virtual LegendEntryLayout entryLayout() const = 0;
  // Room the entry needs above and below the 20 pt band.
  qreal overflowTop() const;
  qreal overflowBottom() const;
  // Where the band's top lies in this widget; by default just below the entry's own overflow.
  void setBandTop(qreal top);
  qreal bandTop() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

  // The smallest size a text is drawn at to fit its place.
  static constexpr int kSmallestPixelSize = 7;
  // `font`, narrowed and then made smaller until `text` fits `width` (or the smallest size is
  // reached); the font itself when it fits already. `advance`, when given, receives the text's
  // width in the returned font.
  static QFont fittedFont(const QFont& font, const QString& text, qreal width,
                          qreal* advance = nullptr);
  static QFont labelFont();       // caption-2, medium
  static QFont lowerLabelFont();  // caption, bold
  static QFont valueFont();       // body, bold

 protected:
  LegendEntry(QString value, ThemedColor color, qreal width, QWidget* parent);
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  // Draws the texts that meet `dirty` (band coordinates).
  virtual void paintTexts(QPainter& painter, const LegendEntryLayout& layout,
                          const QRectF& dirty) const = 0;
  // Measures the labels again; the fonts follow the application's.
  virtual void measureLabels() = 0;
  QSizeF valueSize() const { return valueSize_; }
  static void drawText(QPainter& painter, const QRectF& rect, const QFont& font,
                       const QString& text);
  static QSizeF textSize(const QFont& font, const QString& text);
  void relayout();

 private:
  QString value_;
  QSizeF valueSize_;  // measured once per value: shaping text is the costly part of a sample
  ThemedColor color_;
  qreal width_;
  qreal bandTop_ = -1;  // below zero: follow the entry's own overflow
};

class GraphSingleLineTitle : public LegendEntry {
  Q_OBJECT

 public:
  GraphSingleLineTitle(QString label, QString value, ThemedColor color, qreal width,
                       QWidget* parent = nullptr);
  QString label() const { return label_; }
  LegendEntryLayout entryLayout() const override;

 protected:
  void paintTexts(QPainter& painter, const LegendEntryLayout& layout,
                  const QRectF& dirty) const override;
  void measureLabels() override;

 private:
  QString label_;
  QSizeF labelSize_;
};

class GraphDoubleLineTitle : public LegendEntry {
  Q_OBJECT

 public:
  GraphDoubleLineTitle(QString labelUp, QString labelDown, QString value, ThemedColor color,
                       qreal width, QWidget* parent = nullptr);
  QString labelUp() const { return labelUp_; }
  QString labelDown() const { return labelDown_; }
  LegendEntryLayout entryLayout() const override;

 protected:
  void paintTexts(QPainter& painter, const LegendEntryLayout& layout,
                  const QRectF& dirty) const override;
  void measureLabels() override;

 private:
  QString labelUp_;
  QString labelDown_;
  QSizeF labelUpSize_;
  QSizeF labelDownSize_;
  qreal upperOffset_ = LegendEntryGeometry::kUpperLabelOffset;
};
