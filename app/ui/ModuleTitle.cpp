#include "app/ui/ModuleTitle.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "app/ui/Style.h"

ModuleTitle::ModuleTitle(QString labelLeft, QString labelRight, QString help, QWidget* parent)
    : QWidget(parent), labelLeft_(std::move(labelLeft)), labelRight_(std::move(labelRight)) {
  setToolTip(help);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QFont ModuleTitle::leftFont() {
  return Style::font(TextStyle::Body, QFont::Medium);
}
QFont ModuleTitle::rightFont() {
  return Style::font(TextStyle::Footnote, QFont::Medium);
}

void ModuleTitle::setLabels(const QString& labelLeft, const QString& labelRight,
                            const QString& help) {
  const bool resized = labelLeft != labelLeft_ || labelRight != labelRight_;
  labelLeft_ = labelLeft;
  labelRight_ = labelRight;
  setToolTip(help);
  if (resized) {
    updateGeometry();
    update();
  }
}

QSize ModuleTitle::sizeHint() const {
  const QFontMetricsF left(leftFont());
  const QFontMetricsF right(rightFont());
  const qreal width =
      left.horizontalAdvance(labelLeft_) + kSpacing + right.horizontalAdvance(labelRight_);
  const qreal height = std::max(left.height(), right.height()) + kBottomPadding;
  return {int(std::ceil(width)), int(std::ceil(height))};
}

QSize ModuleTitle::minimumSizeHint() const {
  return {0, sizeHint().height()};
}

void ModuleTitle::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setPen(Style::color(NamedColor::Purple, palette()));
  const QRectF row(0, 0, width(), height() - kBottomPadding);
  const int flags = Qt::AlignVCenter | Qt::TextSingleLine;
  painter.setFont(rightFont());
  painter.drawText(row, flags | Qt::AlignRight, labelRight_);
  const qreal rightWidth = QFontMetricsF(rightFont()).horizontalAdvance(labelRight_);
  painter.setFont(leftFont());
  const QRectF leftRect(0, 0, std::max<qreal>(0, row.width() - rightWidth - kSpacing),
                        row.height());
  painter.drawText(
      leftRect, flags | Qt::AlignLeft,
      QFontMetricsF(leftFont()).elidedText(labelLeft_, Qt::ElideRight, leftRect.width()));
}

void ModuleTitle::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
    update();
  }
  QWidget::changeEvent(event);
}
