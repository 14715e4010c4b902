// The settings window's first tab: where the log file goes, and the temperature unit. Both
// controls read their user-defaults key whenever the defaults change and write it only when the
// person uses them, so a value that does not read as anything known shows as the default and
// stays in the file untouched until then.
//
// Threads: main thread only.
#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class LogFileModel;
class QComboBox;
class QLabel;
class QPushButton;
class UserDefaults;

class GeneralSettingsView : public QWidget {
  Q_OBJECT

 public:
  // Asks for a folder, starting in `startIn`: nullopt when the person cancels, otherwise the
  // chosen folder (empty when the dialog confirmed without one).
  using FolderChooser =
      std::function<std::optional<QString>(QWidget* parent, const QString& startIn)>;

  GeneralSettingsView(LogFileModel& modelLogFile, UserDefaults& defaults,
                      FolderChooser chooser = {}, QWidget* parent = nullptr);

  // The folder the location row shows, which is where the log goes: the stored folder while it
  // exists and is writable, else the recorder's own on the same terms, else the Desktop when
  // there is one, else home.
  static QString displayedPath(const std::optional<QString>& stored,
                               const std::optional<QString>& recorderFolder);
  // A directories-only dialog whose confirm button reads "Select".
  static std::optional<QString> chooseFolder(QWidget* parent, const QString& startIn);

  QPushButton* locationButton() const { return location_; }
  QLabel* locationPath() const { return path_; }
  QComboBox* temperature() const { return temperature_; }

  // Runs the folder chooser and stores its answer; a cancel changes nothing.
  void chooseLogFolder();

 private:
  void refresh();

  LogFileModel& modelLogFile_;
  UserDefaults& defaults_;
  FolderChooser chooser_;
  QPushButton* location_;
  QLabel* icon_;
  QLabel* path_;
  QComboBox* temperature_;
};
