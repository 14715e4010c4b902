// The more button's background: a 26 × 20 rectangle with corners of radius 4, its top-right
// corner cut along a radius of 14 so it follows the window's corner. It is clear until the
// pointer is over it or logging is on:
//
//   pointer over | logging | fill
//   no           | no      | clear
//   no           | yes     | pink at 0.6
//   yes          | no      | the primary text colour at 0.1
//   yes          | yes     | pink at 0.8
//
// Threads: main thread only.
#pragma once

#include <QWidget>

class LogFileModel;

class ModuleViewMoreButtonButton : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 26;
  static constexpr int kHeight = 20;
  static constexpr double kRadius = 4;
  static constexpr double kCornerRadius = 14;

  explicit ModuleViewMoreButtonButton(LogFileModel& modelLogFile, QWidget* parent = nullptr);

  bool isHover() const { return isHover_; }
  void setHover(bool hover);
  // The fill for the current state and appearance; transparent when clear.
  QColor fillColor() const;
  static QColor fillColor(bool isHover, bool isLogEnabled, bool dark);

  QSize sizeHint() const override { return {kWidth, kHeight}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  LogFileModel& modelLogFile_;
  bool isHover_ = false;
};
