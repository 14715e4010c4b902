// The one place that maps the interface's named colours and text styles to Qt values.
//
// Colours follow the desktop system palette of the reference platform, each with a light and a
// dark variant. Text styles are given in points, and since the interface draws in logical points
// (1 pt = 1 device-independent pixel) a font's size is set in pixels, not in Qt's 1/72-inch
// points, so a 13 pt body text is 13 logical pixels on every screen.
//
// Header-only on purpose: the graph library uses it without linking the window library, which
// later depends on the graph library.
#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

enum class NamedColor {
  Blue,
  Cyan,
  Orange,
  Pink,
  Purple,
  Foreground,       // the default foreground of text and strokes: black or white
  Label,            // primary text
  SecondaryLabel,   // secondary text
  WindowBackground  // the window's own background
};

enum class TextStyle { Title2, Title3, Headline, Body, Footnote, Caption, Caption2 };

namespace Style {

// Dark appearance is read from the palette: Qt 6.4 has no colour-scheme query, and a dark
// desktop theme always gives the window a dark colour.
inline bool isDark(const QPalette& palette) {
  return palette.color(QPalette::Window).lightness() < 128;
}

inline QColor color(NamedColor name, bool dark) {
  switch (name) {
    case NamedColor::Blue:
      return dark ? QColor(10, 132, 255) : QColor(0, 122, 255);
    case NamedColor::Cyan:
      return dark ? QColor(90, 200, 245) : QColor(85, 190, 240);
    case NamedColor::Orange:
      return dark ? QColor(255, 159, 10) : QColor(255, 149, 0);
    case NamedColor::Pink:
      return dark ? QColor(255, 55, 95) : QColor(255, 45, 85);
    case NamedColor::Purple:
      return dark ? QColor(191, 90, 242) : QColor(175, 82, 222);
    case NamedColor::Foreground:
      return dark ? QColor(255, 255, 255) : QColor(0, 0, 0);
    case NamedColor::Label:
      return dark ? QColor(255, 255, 255, 217) : QColor(0, 0, 0, 217);
    case NamedColor::SecondaryLabel:
      return dark ? QColor(255, 255, 255, 140) : QColor(0, 0, 0, 128);
    case NamedColor::WindowBackground:
      return dark ? QColor(50, 50, 50) : QColor(236, 236, 236);
  }
  return {};
}

inline QColor color(NamedColor name, const QPalette& palette) {
  return color(name, isDark(palette));
}

// Sizes in points of each text style.
inline int pointSize(TextStyle style) {
  switch (style) {
    case TextStyle::Title2:
      return 17;
    case TextStyle::Title3:
      return 15;
    case TextStyle::Headline:
    case TextStyle::Body:
      return 13;
    case TextStyle::Footnote:
    case TextStyle::Caption:
    case TextStyle::Caption2:
      return 10;
  }
  return 13;
}

// The headline style is bold by nature; other styles take the weight asked for.
inline QFont font(TextStyle style, QFont::Weight weight = QFont::Normal) {
  QFont f;
  f.setPixelSize(pointSize(style));
  f.setWeight(style == TextStyle::Headline && weight == QFont::Normal ? QFont::Bold : weight);
  return f;
}

}  // namespace Style
