// A module's title line: its name at the left, its unit at the right, both purple, with the
// module's help text as the line's tooltip.
#pragma once

#include <QString>
#include <QWidget>

class ModuleTitle : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kBottomPadding = 6;
  static constexpr int kSpacing = 8;

  ModuleTitle(QString labelLeft, QString labelRight, QString help, QWidget* parent = nullptr);

  QString labelLeft() const { return labelLeft_; }
  QString labelRight() const { return labelRight_; }
  QString help() const { return toolTip(); }
  void setLabels(const QString& labelLeft, const QString& labelRight, const QString& help);

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

  static QFont leftFont();   // body, medium
  static QFont rightFont();  // footnote, medium

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QString labelLeft_;
  QString labelRight_;
};
