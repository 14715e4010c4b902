// One row of the more-button menu: a command, a checkbox or a separator.
//
// Threads: a value type; built and run on the main thread.
#pragma once

#include <QString>

#include <functional>

struct MenuItem {
  // The title that makes a row a separator.
  static inline const QString kSeparator = QStringLiteral("-");

  QString id;          // a fresh UUID each time the rows are built
  int isChecked = -1;  // -1: a command; anything else: the logging checkbox
  QString title;
  std::function<void()> action;  // run when a command is chosen
  bool isDisabled = false;

  bool isSeparator() const { return title == kSeparator; }
  bool isCommand() const { return !isSeparator() && isChecked == -1; }
};
