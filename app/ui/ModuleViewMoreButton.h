// The more button in the window's top-right corner: the hover background, an invisible menu
// trigger that takes the clicks, and the ellipsis symbol on top (which lets clicks through).
// The button fades to 0.3 while no window of the application is active and returns to full
// opacity when one becomes active again. Tab reaches it; Space, Enter or Return open the menu.
//
// Threads: main thread only.
#pragma once

#include <QWidget>

class GeneralModel;
class ModuleViewMoreButtonButton;
class ModuleViewMoreButtonMenuContent;
class QGraphicsOpacityEffect;
class QLabel;
class QToolButton;
class QWindow;
class UserDefaults;

class ModuleViewMoreButton : public QWidget {
  Q_OBJECT

 public:
  // The stack's own size; the background reaches one point beyond it on each side and down.
  static constexpr int kWidth = 24;
  static constexpr int kHeight = 18;
  static constexpr double kDimmedOpacity = 0.3;

  ModuleViewMoreButton(GeneralModel& model, UserDefaults& defaults, QWidget* parent = nullptr);

  bool isDimmed() const { return isDimmed_; }
  double opacity() const;

  ModuleViewMoreButtonButton* background() const { return background_; }
  QToolButton* trigger() const { return trigger_; }
  ModuleViewMoreButtonMenuContent* content() const { return content_; }

  // The ellipsis: the desktop theme's symbol where it has one, else a drawn circle with three
  // dots, in the primary text colour at 0.7.
  static QPixmap ellipsis(bool dark, qreal devicePixelRatio);

  QSize sizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void focusWindowChanged(QWindow* window);
  void setDimmed(bool dimmed);
  void refreshSymbol();

  ModuleViewMoreButtonButton* background_;
  QToolButton* trigger_;
  QLabel* symbol_;
  ModuleViewMoreButtonMenuContent* content_;
  QGraphicsOpacityEffect* fade_;
  bool isDimmed_ = false;
};
