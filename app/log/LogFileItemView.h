// The "Log to file" toggle (Ctrl+L): a checkable action bound both ways to the recorder's
// isLogEnabled, for whatever menu the window puts it in.
//
// Threads: main thread.
#pragma once

class LogFileModel;
class QAction;
class QObject;

class LogFileItemView {
 public:
  // The action is owned by `parent`; it follows the model's changes and sets the model when
  // toggled.
  static QAction* create(LogFileModel& model, QObject* parent);
};
