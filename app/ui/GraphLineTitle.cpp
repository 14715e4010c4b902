#include "app/ui/GraphLineTitle.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "app/ui/Style.h"

LegendEntry::LegendEntry(QString value, ThemedColor color, qreal width, QWidget* parent)
    : QWidget(parent), value_(std::move(value)), color_(color), width_(std::max<qreal>(0, width)) {
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
  value_ = value;
  update();  // the width is fixed, so a new value never moves anything else
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

void LegendEntry::drawText(QPainter& painter, const QRectF& rect, const QFont& font,
                           const QString& text) {
  // A text wider than its place is first set narrower, then cut with an ellipsis, rather than
  // spilling onto its neighbour: desktop fonts run wider than the ones the widths were made for.
  QFont fitted = font;
  for (int stretch : {QFont::SemiCondensed, QFont::Condensed}) {
    if (QFontMetricsF(fitted).horizontalAdvance(text) <= rect.width() + 0.01) break;
    fitted.setStretch(stretch);
  }
  const QFontMetricsF metrics(fitted);
  const QString shown = metrics.horizontalAdvance(text) <= rect.width() + 0.01
                            ? text
                            : metrics.elidedText(text, Qt::ElideRight, rect.width());
  painter.setFont(fitted);
  painter.drawText(rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip,
                   shown);
}

void LegendEntry::paintEvent(QPaintEvent*) {
  const LegendEntryLayout layout = entryLayout();
  QPainter painter(this);
  painter.translate(0, bandTop());
  painter.fillRect(layout.bar, color());  // behind the texts
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setPen(Style::color(NamedColor::Label, palette()));
  paintTexts(painter, layout);
}

void LegendEntry::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
    update();
  }
  QWidget::changeEvent(event);
}

GraphSingleLineTitle::GraphSingleLineTitle(QString label, QString value, ThemedColor color,
                                           qreal width, QWidget* parent)
    : LegendEntry(std::move(value), color, width, parent), label_(std::move(label)) {
  relayout();
}

LegendEntryLayout GraphSingleLineTitle::entryLayout() const {
  return LegendEntryGeometry::singleLine(entryWidth(), textSize(labelFont(), label_),
                                         textSize(valueFont(), value()));
}

void GraphSingleLineTitle::paintTexts(QPainter& painter, const LegendEntryLayout& layout) const {
  drawText(painter, layout.label, labelFont(), label_);
  drawText(painter, layout.value, valueFont(), value());
}

GraphDoubleLineTitle::GraphDoubleLineTitle(QString labelUp, QString labelDown, QString value,
                                           ThemedColor color, qreal width, QWidget* parent)
    : LegendEntry(std::move(value), color, width, parent),
      labelUp_(std::move(labelUp)),
      labelDown_(std::move(labelDown)) {
  relayout();
}

LegendEntryLayout GraphDoubleLineTitle::entryLayout() const {
  return LegendEntryGeometry::doubleLine(entryWidth(), textSize(labelFont(), labelUp_),
                                         textSize(lowerLabelFont(), labelDown_),
                                         textSize(valueFont(), value()));
}

void GraphDoubleLineTitle::paintTexts(QPainter& painter, const LegendEntryLayout& layout) const {
  drawText(painter, layout.label, labelFont(), labelUp_);
  drawText(painter, layout.labelDown, lowerLabelFont(), labelDown_);
  drawText(painter, layout.value, valueFont(), value());
}
