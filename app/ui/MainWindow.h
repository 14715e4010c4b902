// The application's one window: the content view at its fixed width, and the menus: "File"
// (Settings, Check for Update, Uninstall Helper, Quit), "Logging" and "Help" (Ferrolux Help,
// About Ferrolux), with mnemonics and the desktop's shortcuts (Ctrl+Comma for Settings and
// Ctrl+Q for Quit, both from any window of the application). No zoom, no full screen, no New
// Window command; the desktop's own decoration stays, so the window can be moved.
//
// The window is as tall as its content where the screen allows; on a screen whose available
// height is smaller, it takes that height and the cards scroll inside it, their width and
// layout unchanged. An offscreen rendering has no screen to fit and always shows everything.
//
// Main thread only.
#pragma once

#include <QMainWindow>

#include <optional>

class ContentView;
class GeneralModel;
class QAction;
class QMenu;
class QScrollArea;
class UserDefaults;

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  MainWindow(GeneralModel& model, UserDefaults& defaults, QWidget* parent = nullptr);

  ContentView* contentView() const { return content_; }
  QScrollArea* scrollArea() const { return scroll_; }
  QMenu* fileMenu() const { return file_; }
  // The log-file actions go in this menu.
  QMenu* loggingMenu() const { return logging_; }
  QMenu* helpMenu() const { return help_; }
  QAction* settingsAction() const { return settings_; }
  QAction* quitAction() const { return quit_; }

  // Sizes the window, from now on, for a screen whose available height is `available` (the
  // window's frame included) rather than its own screen's; below zero, as tall as the content.
  void fitToHeight(int available);

 protected:
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fitToScreen();
  void fit(int available);
  void buildMenus(GeneralModel& model, UserDefaults& defaults);

  ContentView* content_;
  QScrollArea* scroll_;
  QMenu* file_ = nullptr;
  QMenu* logging_ = nullptr;
  QMenu* help_ = nullptr;
  QAction* settings_ = nullptr;
  QAction* quit_ = nullptr;
  std::optional<int> pinnedAvailable_;
};
