#include "app/ui/RoundedCorner.h"

QPainterPath RoundedCorner::path(const QSizeF& size) const {
  const double w = size.width(), h = size.height(), r = radius;
  QPainterPath p;
  p.moveTo(w, 0);
  if (corners.testFlag(Corner::TopRight)) {
    p.lineTo(w - r, 0);
    p.cubicTo(QPointF(w, 0), QPointF(w, 0), QPointF(w, r));
  } else {
    p.lineTo(w, 0);
  }
  if (corners.testFlag(Corner::BottomRight)) {
    p.lineTo(w, h - r);
    p.cubicTo(QPointF(w, h), QPointF(w, h), QPointF(w - r, h));
  } else {
    p.lineTo(w, h);
  }
  if (corners.testFlag(Corner::BottomLeft)) {
    p.lineTo(r, h);
    p.cubicTo(QPointF(0, h), QPointF(0, h), QPointF(0, h - r));
  } else {
    p.lineTo(0, h);
  }
  if (corners.testFlag(Corner::TopLeft)) {
    p.lineTo(0, r);
    p.cubicTo(QPointF(0, 0), QPointF(0, 0), QPointF(r, 0));
  } else {
    p.lineTo(0, 0);
  }
  return p;
}
