// The card that frames a measurement module: 8 pt of padding, a fixed height, a rounded
// background (white, or faint white on a dark appearance) and a soft shadow.
//
// The widget keeps a 1 pt margin around the card for the shadow, since a widget cannot draw
// beyond its own bounds; the card itself is exactly `height` high.
#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QWidget>

class ModuleViewDecoration : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kPadding = 8;
  static constexpr qreal kCornerRadius = 8;
  static constexpr int kShadowMargin = 1;

  explicit ModuleViewDecoration(qreal height, QWidget* content = nullptr,
                                QWidget* parent = nullptr);

  // Puts `content` inside the card, replacing (and deleting) any earlier content.
  void setContent(QWidget* content);
  QWidget* content() const { return content_; }

  qreal cardHeight() const { return height_; }
  QRectF cardRect() const;
  QRect contentRect() const;  // the card less its padding
  static QColor background(bool dark);
  // The card's flat colour as it shows on the window's background (the palette's window
  // colour), blended the way the card is: what a child drawn inside the padding sits on.
  static QColor surface(const QPalette& palette);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void placeContent();
  // The card and its shadow drawn once per size, scale and appearance: a legend value or a
  // graph repaints the card under it on every sample, and the shadow's rings are costly paths.
  void drawCard(bool dark, qreal dpr);

  qreal height_;
  QImage card_;
  bool cardDark_ = false;
  QWidget* content_ = nullptr;
};
