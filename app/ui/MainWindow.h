// The application's one window: the content view at its fixed size, a "Logging" menu and a Help
// menu whose single item writes to the developer. No zoom, no full screen, no New Window
// command; the desktop's own decoration stays, so the window can be moved.
// Main thread only.
#pragma once

#include <QMainWindow>

class ContentView;
class GeneralModel;
class QMenu;
class UserDefaults;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(GeneralModel& model, UserDefaults& defaults, QWidget* parent = nullptr);

  ContentView* contentView() const { return content_; }
  // The log-file actions go in this menu.
  QMenu* loggingMenu() const { return logging_; }
  QMenu* helpMenu() const { return help_; }

 private:
  ContentView* content_;
  QMenu* logging_;
  QMenu* help_;
};
