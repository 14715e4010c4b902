// The application's settings, kept in one INI file per user.
//
// Reads are live (every call reads the current value) and typed: a key that is absent, or whose
// stored text does not convert to the asked type, gives that type's default. Every write is saved
// at once and then announced with notifications::kUserDefaultsDidChange, posted synchronously on
// the writing thread. Safe to use from any thread.
//
// Edits from outside (a text editor, another instance) are seen once watchForOutsideEdits() has
// been called: the file is read again as soon as it changes on disk and the change is announced
// on the thread that called it, which must run an event loop.
#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <mutex>
#include <optional>

class QFileSystemWatcher;
class QSettings;

namespace defaults {
// Folder of the CSV log file (string, absent by default: the Desktop is used).
inline constexpr const char* kPathFolderLocation = "pathFolderLocation";
// 0 for Celsius, anything else Fahrenheit (integer, 0).
inline constexpr const char* kTemperatureUnit = "temperatureUnit";
// Show the GPU utilization series (bool, false).
inline constexpr const char* kGPUUtilization = "gpuUtilization";
// Show E-core and P-core utilization instead of the aggregate (bool, false).
inline constexpr const char* kShowEPUtilization = "showEPUtilization";
// Show the GPU frequency series and ask the sampler for GPU figures (bool, false).
inline constexpr const char* kGPUFrequency = "gpuFrequency";
// Sample length in milliseconds (double, 0 meaning 500); no control writes it.
inline constexpr const char* kSamplingResolution = "samplingResolution";
// Telemetry visitor reference (string, absent until first use).
inline constexpr const char* kReference = "reference";
}  // namespace defaults

class UserDefaults {
 public:
  // Environment variable naming the INI file, for tests and side-by-side runs.
  static constexpr const char* kFileVariable = "FERROLUX_DEFAULTS_FILE";

  // The process's defaults, on the file of defaultFilePath() at first use.
  static UserDefaults& standard();
  // $FERROLUX_DEFAULTS_FILE when set and not empty; otherwise ferrolux.ini in the user's
  // configuration folder (~/.config/Ferrolux/ferrolux.ini).
  static QString defaultFilePath();

  explicit UserDefaults(const QString& filePath);
  ~UserDefaults();
  UserDefaults(const UserDefaults&) = delete;
  UserDefaults& operator=(const UserDefaults&) = delete;

  QString filePath() const;
  // Moves this instance to another file (tests); posts the change notification, since every
  // value may now read differently.
  void setFilePath(const QString& filePath);

  bool contains(const QString& key) const;
  QVariant value(const QString& key) const;  // invalid when absent

  std::optional<QString> string(const QString& key) const;  // nullopt when absent
  int64_t integer(const QString& key) const;                // 0
  bool boolean(const QString& key) const;                   // false
  double real(const QString& key) const;                    // 0

  // False when the file could not be saved: the change then holds in this process only, and
  // saving is tried again at the next write.
  bool setValue(const QString& key, const QVariant& value);
  bool remove(const QString& key);

  // Starts watching the file (and its folder, for editors that replace the file) on the
  // calling thread. Our own writes are not announced twice.
  void watchForOutsideEdits();

  // Accessors of the application's keys, with their defaults.
  std::optional<QString> pathFolderLocation() const {
    return string(defaults::kPathFolderLocation);
  }
  int64_t temperatureUnit() const { return integer(defaults::kTemperatureUnit); }
  bool gpuUtilization() const { return boolean(defaults::kGPUUtilization); }
  bool showEPUtilization() const { return boolean(defaults::kShowEPUtilization); }
  bool gpuFrequency() const { return boolean(defaults::kGPUFrequency); }
  double samplingResolution() const { return real(defaults::kSamplingResolution); }
  std::optional<QString> reference() const { return string(defaults::kReference); }

 private:
  void announce();
  bool saveLocked();
  // Reads the file again when it is not as we last left it, and announces the change.
  void reloadIfEdited();
  void watch();
  // The file's size and modification time: what tells an outside edit from our own write.
  QString stampLocked() const;

  mutable std::mutex mutex_;
  std::unique_ptr<QSettings> settings_;
  QString stamp_;
  std::unique_ptr<QFileSystemWatcher> watcher_;
};
