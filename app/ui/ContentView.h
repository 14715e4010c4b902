// The content of the application's one window: MainInterface, padded, exactly 400 points wide
// with a height that follows it, and above it, in the top-right corner, the more-button.
// Main thread only.
#pragma once

#include <QWidget>

class GeneralModel;
class MainInterface;
class UserDefaults;

class ContentView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 400;
  static constexpr int kPadding = 16;
  // The interface reaches 10 pt into the top padding.
  static constexpr int kInterfaceTop = kPadding - 10;

  ContentView(GeneralModel& model, UserDefaults& defaults, QWidget* parent = nullptr);

  MainInterface* interface() const { return interface_; }

  // Puts `button` (reparented) in the top-right corner, above the interface; the window keeps
  // its decoration on Linux, so the corner lies inside the content rather than in a title bar.
  void setMoreButton(QWidget* button);
  QWidget* moreButton() const { return moreButton_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void placeMoreButton();

  MainInterface* interface_;
  QWidget* moreButton_ = nullptr;
};
