// The settings window: the tabs "General" (log folder, temperature unit) and "Extra" (optional
// series), 450 × 200. There is one at a time: opening it again raises the open one. It is centred
// on its screen each time it is shown, which is harmless to repeat. Esc closes it. Closing it
// destroys it; the controls keep nothing, everything lives in the user defaults.
//
// Threads: main thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include "app/ui/GeneralSettingsView.h"

class GeneralModel;
class GPUSettingsView;
class QTabWidget;
class UserDefaults;

class SettingsView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 450;
  static constexpr int kHeight = 200;
  // The tags of the two tabs, in their order.
  enum class Tabs { general, gpu };

  SettingsView(LogFileModel& modelLogFile, UserDefaults& defaults,
               GeneralSettingsView::FolderChooser chooser = {}, QWidget* parent = nullptr);

  // Opens the window, or raises the one already open, and returns it.
  static SettingsView* showSettingsWindow(GeneralModel& model, UserDefaults& defaults,
                                          GeneralSettingsView::FolderChooser chooser = {});
  // The open window, if any.
  static SettingsView* instance();

  QTabWidget* tabs() const { return tabs_; }
  GeneralSettingsView* general() const { return general_; }
  GPUSettingsView* gpu() const { return gpu_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void centreOnScreen();

  QTabWidget* tabs_;
  GeneralSettingsView* general_;
  GPUSettingsView* gpu_;
};
