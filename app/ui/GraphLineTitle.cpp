#include "app/ui/GraphLineTitle.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "app/ui/Style.h"

LegendEntry::LegendEntry(QString value, ThemedColor color, qreal width, QWidget* parent)
    : QWidget(parent),
      value_(std::move(value)),
      valueSize_(textSize(valueFont(), value_)),
      color_(color),
      width_(std::max<qreal>(0, width)) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QColor LegendEntry::color() const {
  return color_.resolve(palette());
}

void LegendEntry::relayout() {
  setFixedSize(sizeHint());
  updateGeometry();
  update();
}

void LegendEntry::setValue(const QString& value) {
  if (value == value_) return;
  const LegendEntryLayout before = entryLayout();
  value_ = value;
  valueSize_ = textSize(valueFont(), value_);
  const LegendEntryLayout after = entryLayout();
  // The width is fixed, so a new value moves nothing outside the entry. Within it, the value
  // and, where a long value narrows them, the labels are painted again; the bar is not.
  QRectF dirty = before.value.united(after.value);
  if (before.label != after.label) dirty = dirty.united(before.label).united(after.label);
  if (before.labelDown != after.labelDown) {
    dirty = dirty.united(before.labelDown).united(after.labelDown);
  }
  // A point to spare for antialiased edges that reach past a text's box.
  update(dirty.translated(0, bandTop()).adjusted(-1, -1, 1, 1).toAlignedRect());
}

qreal LegendEntry::overflowTop() const {
  return std::max<qreal>(0, -entryLayout().bounds().top());
}

qreal LegendEntry::overflowBottom() const {
  return std::max<qreal>(0, entryLayout().bounds().bottom() - LegendEntryGeometry::kBandHeight);
}

void LegendEntry::setBandTop(qreal top) {
  if (top == bandTop_) return;
  bandTop_ = top;
  relayout();
}

qreal LegendEntry::bandTop() const {
  return bandTop_ >= 0 ? bandTop_ : std::ceil(overflowTop());
}

QSize LegendEntry::sizeHint() const {
  const qreal height = bandTop() + LegendEntryGeometry::kBandHeight + overflowBottom();
  return {int(std::ceil(width_)), int(std::ceil(height))};
}

QFont LegendEntry::labelFont() {
  return Style::font(TextStyle::Caption2, QFont::Medium);
}
QFont LegendEntry::lowerLabelFont() {
  return Style::font(TextStyle::Caption, QFont::Bold);
}
QFont LegendEntry::valueFont() {
  return Style::font(TextStyle::Body, QFont::Bold);
}

QSizeF LegendEntry::textSize(const QFont& font, const QString& text) {
  const QFontMetricsF metrics(font);
  return {metrics.horizontalAdvance(text), metrics.height()};
}

QFont LegendEntry::fittedFont(const QFont& font, const QString& text, qreal width, qreal* advance) {
  // Narrower first, then smaller, down to a size that still reads: desktop fonts run wider than
  // the ones the widths were made for, and a power of 9999.99 W must still show every digit.
  // The last measurement is always of the font returned.
  QFont fitted = font;
  qreal measured = 0;
  const auto fits = [&] {
    measured = QFontMetricsF(fitted).horizontalAdvance(text);
    return measured <= width + 0.01;
  };
  const auto done = [&] {
    if (advance) *advance = measured;
    return fitted;
  };
  for (int stretch : {QFont::SemiCondensed, QFont::Condensed}) {
    if (fits()) return done();
    fitted.setStretch(stretch);
  }
  for (int size = font.pixelSize() - 1; !fits() && size >= kSmallestPixelSize; --size)
    fitted.setPixelSize(size);
  return done();
}

void LegendEntry::drawText(QPainter& painter, const QRectF& rect, const QFont& font,
                           const QString& text) {
  qreal advance = 0;
  const QFont fitted = fittedFont(font, text, rect.width(), &advance);
  // Only a text that cannot fit at the smallest size is cut, rather than spilling onto its
  // neighbour.
  const QString shown = advance <= rect.width() + 0.01
                            ? text
                            : QFontMetricsF(fitted).elidedText(text, Qt::ElideRight, rect.width());
  painter.setFont(fitted);
  painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                   shown);
}

void LegendEntry::paintEvent(QPaintEvent* event) {
  const LegendEntryLayout layout = entryLayout();
  // Painting is clipped to what needs it anyway; skipping the texts outside saves shaping them.
  const QRectF dirty = QRectF(event->rect()).translated(0, -bandTop()).adjusted(-1, -1, 1, 1);
  QPainter painter(this);
  painter.translate(0, bandTop());
  painter.fillRect(layout.bar, color());  // behind the texts
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setPen(Style::color(NamedColor::Label, palette()));
  paintTexts(painter, layout, dirty);
}

void LegendEntry::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
    update();
  }
  if (event->type() == QEvent::ApplicationFontChange) {
    valueSize_ = textSize(valueFont(), value_);
    measureLabels();
    relayout();
  }
  QWidget::changeEvent(event);
}

GraphSingleLineTitle::GraphSingleLineTitle(QString label, QString value, ThemedColor color,
                                           qreal width, QWidget* parent)
    : LegendEntry(std::move(value), color, width, parent), label_(std::move(label)) {
  measureLabels();
  relayout();
}

void GraphSingleLineTitle::measureLabels() {
  labelSize_ = textSize(labelFont(), label_);
}

LegendEntryLayout GraphSingleLineTitle::entryLayout() const {
  return LegendEntryGeometry::singleLine(entryWidth(), labelSize_, valueSize());
}

void GraphSingleLineTitle::paintTexts(QPainter& painter, const LegendEntryLayout& layout,
                                      const QRectF& dirty) const {
  if (layout.label.intersects(dirty)) drawText(painter, layout.label, labelFont(), label_);
  if (layout.value.intersects(dirty)) drawText(painter, layout.value, valueFont(), value());
}

GraphDoubleLineTitle::GraphDoubleLineTitle(QString labelUp, QString labelDown, QString value,
                                           ThemedColor color, qreal width, QWidget* parent)
    : LegendEntry(std::move(value), color, width, parent),
      labelUp_(std::move(labelUp)),
      labelDown_(std::move(labelDown)) {
  measureLabels();
  relayout();
}

void GraphDoubleLineTitle::measureLabels() {
  labelUpSize_ = textSize(labelFont(), labelUp_);
  labelDownSize_ = textSize(lowerLabelFont(), labelDown_);
  const QFontMetricsF up(labelFont());
  const QFontMetricsF down(lowerLabelFont());
  upperOffset_ =
      LegendEntryGeometry::upperLabelOffset(up.descent(), down.ascent() - down.capHeight());
}

LegendEntryLayout GraphDoubleLineTitle::entryLayout() const {
  return LegendEntryGeometry::doubleLine(entryWidth(), labelUpSize_, labelDownSize_, valueSize(),
                                         upperOffset_);
}

void GraphDoubleLineTitle::paintTexts(QPainter& painter, const LegendEntryLayout& layout,
                                      const QRectF& dirty) const {
  if (layout.label.intersects(dirty)) drawText(painter, layout.label, labelFont(), labelUp_);
  if (layout.labelDown.intersects(dirty)) {
    drawText(painter, layout.labelDown, lowerLabelFont(), labelDown_);
  }
  if (layout.value.intersects(dirty)) drawText(painter, layout.value, valueFont(), value());
}
