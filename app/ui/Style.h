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

#include <variant>

enum class NamedColor {
  Blue,
  Cyan,
  Orange,
  Pink,
  Purple,
  Green,            // the utilization module's aggregate CPU series
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
    case NamedColor::Green:
      return dark ? QColor(48, 209, 88) : QColor(52, 199, 89);
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

}  // namespace Style

// A colour as a view is given it: a fixed colour, or a named one that is looked up in the
// appearance current when it is painted, so a switch between light and dark repaints in the new
// colours without the view being rebuilt.
class ThemedColor {
 public:
  ThemedColor() = default;
  ThemedColor(const QColor& fixed) : value_(fixed) {}            // NOLINT: implicit on purpose
  ThemedColor(Qt::GlobalColor fixed) : value_(QColor(fixed)) {}  // NOLINT
  ThemedColor(NamedColor named) : value_(named) {}               // NOLINT

  QColor resolve(bool dark) const {
    if (const auto* named = std::get_if<NamedColor>(&value_)) return Style::color(*named, dark);
    return std::get<QColor>(value_);
  }
  QColor resolve(const QPalette& palette) const { return resolve(Style::isDark(palette)); }
  bool isNamed() const { return std::holds_alternative<NamedColor>(value_); }

  friend bool operator==(const ThemedColor& a, const ThemedColor& b) {
    return a.value_ == b.value_;
  }

 private:
  std::variant<QColor, NamedColor> value_ = QColor();
};

namespace Style {

// The palette the window is drawn with in each appearance: the desktop's own palette decides
// the appearance in normal use; snapshots and tests pick one.
inline QPalette windowPalette(bool dark) {
  const QColor window = color(NamedColor::WindowBackground, dark);
  const QColor text = color(NamedColor::Foreground, dark);
  // Built from a button and a window colour, so the shades the style derives (light, mid,
  // dark, shadow) follow the appearance too.
  QPalette p(dark ? QColor(90, 90, 90) : QColor(250, 250, 250), window);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::Base, dark ? QColor(30, 30, 30) : QColor(Qt::white));
  p.setColor(QPalette::ToolTipBase, window);
  p.setColor(QPalette::ToolTipText, text);
  return p;
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
