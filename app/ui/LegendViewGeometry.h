// The legend row of a module: its entries side by side, 12 pt apart, from the left, in a band
// exactly 20 pt high that is as wide as offered.
//
// Colour bars hang below the band and two-line labels rise above it, so the widget is taller
// than the band by what its entries need (bandTop() above, overflowBottom() below); the module
// view takes that room from the paddings around the row so the band itself stays 20 pt.
#pragma once

#include <QList>
#include <QWidget>

class LegendEntry;

class LegendViewGeometry : public QWidget {
  Q_OBJECT

 public:
  static constexpr qreal kSpacing = 12;

  explicit LegendViewGeometry(QWidget* parent = nullptr);

  // Takes the entries, in order, and deletes the ones it held before.
  void setEntries(const QList<LegendEntry*>& entries);
  const QList<LegendEntry*>& entries() const { return entries_; }

  int bandTop() const { return bandTop_; }
  int overflowBottom() const { return overflowBottom_; }

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void place();

  QList<LegendEntry*> entries_;
  int bandTop_ = 0;
  int overflowBottom_ = 0;
};
