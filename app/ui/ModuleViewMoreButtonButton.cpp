#include "app/ui/ModuleViewMoreButtonButton.h"

#include <QPainter>

#include "app/log/LogFileModel.h"
#include "app/ui/RoundedCorner.h"
#include "app/ui/Style.h"

ModuleViewMoreButtonButton::ModuleViewMoreButtonButton(LogFileModel& modelLogFile, QWidget* parent)
    : QWidget(parent), modelLogFile_(modelLogFile) {
  setFixedSize(kWidth, kHeight);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  connect(&modelLogFile_, &LogFileModel::changed, this, qOverload<>(&QWidget::update));
}

void ModuleViewMoreButtonButton::setHover(bool hover) {
  if (hover == isHover_) return;
  isHover_ = hover;
  update();
}

QColor ModuleViewMoreButtonButton::fillColor(bool isHover, bool isLogEnabled, bool dark) {
  QColor c = isLogEnabled
                 ? Style::color(NamedColor::Pink, dark)
                 : (isHover ? Style::color(NamedColor::Label, dark) : QColor(Qt::transparent));
  if (isLogEnabled)
    c.setAlphaF(isHover ? 0.8f : 0.6f);
  else if (isHover)
    c.setAlphaF(c.alphaF() * 0.1f);
  return c;
}

QColor ModuleViewMoreButtonButton::fillColor() const {
  return fillColor(isHover_, modelLogFile_.isLogEnabled(), Style::isDark(palette()));
}

void ModuleViewMoreButtonButton::paintEvent(QPaintEvent*) {
  const QColor fill = fillColor();
  if (fill.alpha() == 0) return;
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath rounded;
  rounded.addRoundedRect(QRectF(rect()), kRadius, kRadius);
  const QPainterPath corner = RoundedCorner{kCornerRadius, Corner::TopRight}.path(QSizeF(size()));
  p.fillPath(rounded.intersected(corner), fill);
}
