#include "app/ui/ModuleViewDecoration.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "app/ui/Style.h"

ModuleViewDecoration::ModuleViewDecoration(qreal height, QWidget* content, QWidget* parent)
    : QWidget(parent), height_(height) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setFixedHeight(int(std::ceil(height_)) + 2 * kShadowMargin);
  if (content) setContent(content);
}

void ModuleViewDecoration::setContent(QWidget* content) {
  if (content_ == content) return;
  delete content_;
  content_ = content;
  // The padding leaves the content clear of the rounded corners, so the children need no
  // clipping of their own.
  if (content_) {
    content_->setParent(this);
    placeContent();
    content_->show();
  }
}

QRect ModuleViewDecoration::contentRect() const {
  return cardRect().adjusted(kPadding, kPadding, -kPadding, -kPadding).toAlignedRect();
}

void ModuleViewDecoration::placeContent() {
  // Placed by hand rather than by a layout: the content gets exactly the padded card, even
  // when it would like more, as the card's height is fixed.
  if (content_) content_->setGeometry(contentRect());
}

void ModuleViewDecoration::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  placeContent();
}

QRectF ModuleViewDecoration::cardRect() const {
  return QRectF(kShadowMargin, kShadowMargin, width() - 2 * kShadowMargin, height_);
}

QColor ModuleViewDecoration::background(bool dark) {
  return dark ? QColor::fromRgbF(1, 1, 1, 0.08f) : QColor(Qt::white);
}

QColor ModuleViewDecoration::surface(const QPalette& palette) {
  // One pixel of card drawn onto one pixel of window, through the same image formats and
  // blends as on screen, so the result matches the window's pixels exactly.
  QImage card(1, 1, QImage::Format_ARGB32_Premultiplied);
  card.fill(Qt::transparent);
  QPainter(&card).fillRect(0, 0, 1, 1, background(Style::isDark(palette)));
  QImage window(1, 1, QImage::Format_ARGB32_Premultiplied);
  window.fill(palette.color(QPalette::Window));
  QPainter(&window).drawImage(0, 0, card);
  return window.pixelColor(0, 0);
}

void ModuleViewDecoration::drawCard(bool dark, qreal dpr) {
  card_ = QImage((QSizeF(size()) * dpr).toSize(), QImage::Format_ARGB32_Premultiplied);
  card_.setDevicePixelRatio(dpr);
  card_.fill(Qt::transparent);
  cardDark_ = dark;
  const QColor fill = background(dark);
  const QRectF card = cardRect();
  QPainter painter(&card_);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  // A shadow of black at 10 %, blurred by 1 pt, follows the card's own coverage, so a faint
  // card casts a faint shadow. Two widening rings approximate the blur.
  const qreal shadow = 0.1 * fill.alphaF();
  for (qreal spread : {1.0, 0.5}) {
    painter.setBrush(QColor::fromRgbF(0, 0, 0, float(shadow / 2)));
    QPainterPath ring;
    ring.addRoundedRect(card.adjusted(-spread, -spread, spread, spread), kCornerRadius + spread,
                        kCornerRadius + spread);
    QPainterPath inner;
    inner.addRoundedRect(card, kCornerRadius, kCornerRadius);
    painter.drawPath(ring.subtracted(inner));
  }
  painter.setBrush(fill);
  painter.drawRoundedRect(card, kCornerRadius, kCornerRadius);
}

void ModuleViewDecoration::paintEvent(QPaintEvent* event) {
  const bool dark = Style::isDark(palette());
  const qreal dpr = devicePixelRatioF();
  if (card_.isNull() || cardDark_ != dark || card_.devicePixelRatio() != dpr ||
      card_.size() != (QSizeF(size()) * dpr).toSize()) {
    drawCard(dark, dpr);
  }
  QPainter painter(this);
  const QRect exposed = event->rect();
  painter.drawImage(exposed, card_,
                    QRectF(QPointF(exposed.topLeft()) * dpr, QSizeF(exposed.size()) * dpr));
}

void ModuleViewDecoration::changeEvent(QEvent* event) {
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
    update();
  }
  QWidget::changeEvent(event);
}
