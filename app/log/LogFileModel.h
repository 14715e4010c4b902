// The CSV log recorder. While logging is on, addRow() keeps one formatted row per sample in
// memory (and in the recovery file); when logging stops, the recording (its file name and rows,
// copied at that moment) is written in one piece on the global thread pool and a desktop
// notification says where it really went, or why it could not be written. Logging can start
// again at once; each write owns its copy.
//
// The folder is the "pathFolderLocation" setting, read live; when it is unset, gone or not
// writable the file goes to the desktop folder, else home. Quitting writes a running recording
// first (writeBeforeQuit). A recording left behind by a process that died is saved as
// "<name> (recovered).csv" by recoverLeftovers().
//
// States: idle -> recording (isLogEnabled, file name fixed, rows accumulate) -> writing (the
// background write holds its copy) -> idle. "ClearData" does not touch the recorder.
//
// Threads: lives and is used on the main thread; only the file writes run elsewhere.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/core/NotificationCenter.h"
#include "app/log/LogFileData.h"
#include "app/log/LogFileModelNotification.h"
#include "app/log/LogFileWriter.h"
#include "app/log/LogRecoveryFile.h"

class UserDefaults;

class LogFileModel : public QObject {
  Q_OBJECT

 public:
  // What one row records: the current values of the module models.
  using RowSource = std::function<LogRowValues()>;
  // Seconds since 1970, now.
  using Clock = std::function<double()>;

  // At most this long passes between two flushes of the recovery file.
  static constexpr int kRecoveryFlushMs = 10000;

  // `notification` may be null (no desktop notifications); `recoveryFolder` empty means no
  // recovery file.
  LogFileModel(UserDefaults& defaults, std::unique_ptr<LogFileModelNotification> notification,
               std::string recoveryFolder, QObject* parent = nullptr);
  // On the session bus and the user's state folder.
  explicit LogFileModel(UserDefaults& defaults, QObject* parent = nullptr);
  ~LogFileModel() override;

  void setRowSource(RowSource source) { rowSource_ = std::move(source); }
  void setClock(Clock clock) { clock_ = std::move(clock); }

  bool isLogEnabled() const { return isLogEnabled_; }
  // A different value announces a change, then starts or stops the recording.
  void setIsLogEnabled(bool enabled);

  // One row from the row source; nothing while logging is off.
  void addRow();

  // The quit path: writes a running recording now, on this thread, and waits for writes still
  // under way, so nothing recorded is lost when the process ends.
  void writeBeforeQuit();

  // Saves leftover recovery files from an earlier run and notifies each.
  void recoverLeftovers();

  const std::optional<QString>& folderUseForSaving() const { return folderUseForSaving_; }
  const std::optional<std::string>& filenameToUseForSaving() const {
    return filenameToUseForSaving_;
  }
  size_t rowCount() const { return log_.size(); }
  LogFileModelNotification* notification() const { return notification_.get(); }

 signals:
  void changed();
  // After each write: where the file went (empty when nowhere) and why the folders tried before
  // it (or all of them) failed; an empty failure means the first folder took it.
  void logFileWritten(const QString& path, const QString& failure);

 private:
  struct Recording {
    std::string fileName;
    std::vector<LogFileData> rows;
  };
  struct PendingWrites;

  void readFolderSetting();
  void startLogging();
  void stopLogging();
  // The folders a file is tried in now: the setting's, then the fallbacks.
  std::vector<std::string> saveFolders() const;
  // Writes `recording` into the first of `folders` that takes it.
  static logfile::SaveResult save(const Recording& recording,
                                  const std::vector<std::string>& folders);
  // Ends the recording under way: its name and rows, with the model ready for the next one.
  Recording takeRecording();
  // Saves `recording`, then discards its safety copy, or, when the save failed, keeps it: the
  // copy goes only once the saved file has been read back whole. Returns the save's result and
  // where the safety copy was kept with every row (empty when it was not).
  static std::pair<logfile::SaveResult, std::string> finish(
      const Recording& recording, LogRecoveryFile* recovery,
      const std::vector<std::string>& folders);
  // Flushes and closes the safety copy of a recording that could not be saved; true when it
  // holds every row, so the next start recovers all of it.
  static bool keepForRecovery(LogRecoveryFile& recovery);
  // "Logging ended" when the first folder took the file; otherwise "Logging failed" with the
  // reasons and where the rows are: the folder that took them, or the kept safety copy.
  void announceSaved(const logfile::SaveResult& result, const std::string& keptAt);

  UserDefaults& defaults_;
  std::unique_ptr<LogFileModelNotification> notification_;
  const std::string recoveryFolder_;
  RowSource rowSource_;
  Clock clock_;

  std::optional<double> lastTimeStamp_;
  std::optional<std::string> filenameToUseForSaving_;
  std::optional<QString> folderUseForSaving_;
  bool isLogEnabled_ = false;
  std::vector<LogFileData> log_;

  std::unique_ptr<LogRecoveryFile> recovery_;
  QTimer recoveryFlush_;
  std::shared_ptr<PendingWrites> pending_;
  NotificationCenter::Token defaultsObserver_ = 0;
};
