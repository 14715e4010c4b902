// The translucent card that covers the modules while the helper is not authorized: it asks the
// user to install the helper, or, when the installed one is outdated, to update it.
//
// The card holds no helper state: MainInterface tells it which form to show and whether the
// update button is still wanted. Its buttons only emit; MainInterface calls the manager.
// Main thread only.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

class HelperCard : public QWidget {
  Q_OBJECT

 public:
  static constexpr qreal kOpacity = 0.9;
  static constexpr qreal kCornerRadius = 8;
  static constexpr int kTextPadding = 64;

  explicit HelperCard(QWidget* parent = nullptr);

  // The update form (true) or the install form (false); in the update form the button shows
  // only while `showUpdateButton` is true.
  void setForm(bool updateNeeded, bool showUpdateButton);

  QLabel* welcome() const { return welcome_; }
  QLabel* text() const { return text_; }
  QPushButton* installButton() const { return install_; }
  QPushButton* updateButton() const { return update_; }

 signals:
  void installRequested();
  void updateRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QLabel* welcome_;
  QLabel* text_;
  QPushButton* install_;
  QPushButton* update_;
};
