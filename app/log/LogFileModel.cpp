#include "app/log/LogFileModel.h"

#include <QPointer>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>

#include "app/core/Dispatch.h"
#include "app/core/UserDefaults.h"
#include "app/log/LogFileWriter.h"

// Writes handed to the thread pool and not finished yet, so quitting can wait for them.
struct LogFileModel::PendingWrites {
  std::mutex mutex;
  std::condition_variable idle;
  int count = 0;

  void begin() {
    std::lock_guard lock(mutex);
    ++count;
  }
  void end() {
    std::lock_guard lock(mutex);
    if (--count == 0) idle.notify_all();
  }
  void waitUntilIdle(std::chrono::seconds bound) {
    std::unique_lock lock(mutex);
    idle.wait_for(lock, bound, [this] { return count == 0; });
  }
};

namespace {

double secondsNow() {
  using namespace std::chrono;
  return duration<double>(system_clock::now().time_since_epoch()).count();
}

// Bounds the wait at quit for a write that is stuck on a dead network folder.
constexpr std::chrono::seconds kQuitWriteBound{30};

}  // namespace

LogFileModel::LogFileModel(UserDefaults& defaults,
                           std::unique_ptr<LogFileModelNotification> notification,
                           std::string recoveryFolder, QObject* parent)
    : QObject(parent),
      defaults_(defaults),
      notification_(std::move(notification)),
      recoveryFolder_(std::move(recoveryFolder)),
      clock_(secondsNow),
      pending_(std::make_shared<PendingWrites>()) {
  recoveryFlush_.setInterval(kRecoveryFlushMs);
  connect(&recoveryFlush_, &QTimer::timeout, this, [this] {
    if (recovery_) recovery_->flush();
  });
  defaultsObserver_ = NotificationCenter::defaultCenter().addObserver(
      notifications::kUserDefaultsDidChange, this, [this] {
        // Settings may be written from any thread; the folder is main-thread state.
        if (dispatch::isMainThread())
          readFolderSetting();
        else
          dispatch::mainAsync(this, [this] { readFolderSetting(); });
      });
  readFolderSetting();
}

LogFileModel::LogFileModel(UserDefaults& defaults, QObject* parent)
    : LogFileModel(defaults, std::make_unique<LogFileModelNotification>(),
                   LogRecoveryFile::defaultFolder(), parent) {}

LogFileModel::~LogFileModel() {
  NotificationCenter::defaultCenter().removeObserver(defaultsObserver_);
  pending_->waitUntilIdle(kQuitWriteBound);
}

void LogFileModel::readFolderSetting() {
  const std::optional<QString> p = defaults_.pathFolderLocation();
  if (!p && !folderUseForSaving_) return;
  if (p && folderUseForSaving_ && *p == *folderUseForSaving_) return;
  folderUseForSaving_ = p;
  emit changed();
}

void LogFileModel::setIsLogEnabled(bool enabled) {
  if (enabled == isLogEnabled_) return;
  isLogEnabled_ = enabled;
  emit changed();
  if (enabled)
    startLogging();
  else
    stopLogging();
}

void LogFileModel::startLogging() {
  lastTimeStamp_.reset();
  log_.clear();
  filenameToUseForSaving_ = logfile::fileName(static_cast<std::time_t>(clock_()));
  if (notification_) notification_->notifyLoggingStarted();
  recovery_.reset();
  if (!recoveryFolder_.empty()) {
    auto recovery = std::make_unique<LogRecoveryFile>();
    if (recovery->open(recoveryFolder_, *filenameToUseForSaving_)) recovery_ = std::move(recovery);
  }
  recoveryFlush_.start();
}

void LogFileModel::addRow() {
  if (!isLogEnabled_) return;
  const double t = clock_();
  if (!lastTimeStamp_) lastTimeStamp_ = t;
  LogFileData row =
      LogFileData::make(t, t - *lastTimeStamp_, rowSource_ ? rowSource_() : LogRowValues{});
  if (recovery_) recovery_->append(row);
  log_.push_back(std::move(row));
}

LogFileModel::Recording LogFileModel::takeRecording() {
  recoveryFlush_.stop();
  Recording recording{filenameToUseForSaving_.value_or(logfile::fileName(std::time(nullptr))),
                      std::move(log_)};
  log_.clear();
  lastTimeStamp_.reset();
  filenameToUseForSaving_.reset();
  return recording;
}

std::pair<logfile::SaveResult, std::string> LogFileModel::finish(
    const Recording& recording, LogRecoveryFile* recovery,
    const std::vector<std::string>& folders) {
  // save() reads the file back before it reports a path.
  logfile::SaveResult result = save(recording, folders);
  std::string keptAt;
  if (recovery && !result.saved() && keepForRecovery(*recovery)) keptAt = recovery->path();
  if (recovery && result.saved()) recovery->discard();
  return {std::move(result), std::move(keptAt)};
}

void LogFileModel::stopLogging() {
  // The write owns its copy of the name, the rows and the safety copy, so a new recording may
  // start while it runs.
  auto recording = std::make_shared<Recording>(takeRecording());
  std::shared_ptr<LogRecoveryFile> recovery(std::move(recovery_));
  const std::vector<std::string> folders = saveFolders();

  pending_->begin();
  QPointer<LogFileModel> self(this);
  dispatch::globalAsync([recording, recovery, folders, self, pending = pending_] {
    auto [result, keptAt] = finish(*recording, recovery.get(), folders);
    dispatch::mainAsync([self, result = std::move(result), keptAt = std::move(keptAt)] {
      if (self) self->announceSaved(result, keptAt);
    });
    pending->end();
  });
}

void LogFileModel::writeBeforeQuit() {
  if (notification_) notification_->setWaitForDelivery(true);
  if (isLogEnabled_) {
    isLogEnabled_ = false;
    emit changed();
    const Recording recording = takeRecording();
    const auto [result, keptAt] = finish(recording, recovery_.get(), saveFolders());
    recovery_.reset();
    announceSaved(result, keptAt);
  }
  pending_->waitUntilIdle(kQuitWriteBound);
}

std::vector<std::string> LogFileModel::saveFolders() const {
  return logfile::folders(folderUseForSaving_ ? std::optional(folderUseForSaving_->toStdString())
                                              : std::nullopt);
}

logfile::SaveResult LogFileModel::save(const Recording& recording,
                                       const std::vector<std::string>& folders) {
  return logfile::save(folders, recording.fileName, logfile::text(recording.rows));
}

bool LogFileModel::keepForRecovery(LogRecoveryFile& recovery) {
  const bool complete = recovery.flush();
  recovery.close();
  return complete;
}

void LogFileModel::announceSaved(const logfile::SaveResult& result, const std::string& keptAt) {
  const QString path = QString::fromStdString(result.path);
  const QString failure = QString::fromStdString(result.failure);
  if (!result.failure.empty()) std::printf("error %s\n", result.failure.c_str());
  if (notification_) {
    if (result.failure.empty()) {
      notification_->notifyLoggingEnded(path);
    } else {
      QString text =
          QStringLiteral("The log file could not be written (") + failure + QStringLiteral(").");
      if (result.saved())
        text += QStringLiteral(" Saved at: ") + path;
      else if (!keptAt.empty())
        text += QStringLiteral(" The recording is kept in ") + QString::fromStdString(keptAt) +
                QStringLiteral(" and will be saved at the next start.");
      else
        text += QStringLiteral(" The recording is lost.");
      notification_->notifyLoggingFailed(text);
    }
  }
  emit logFileWritten(path, failure);
}

void LogFileModel::recoverLeftovers() {
  if (recoveryFolder_.empty()) return;
  const auto folders = saveFolders();
  for (const LogRecoveryFile::Recovered& r :
       LogRecoveryFile::recoverLeftovers(recoveryFolder_, folders)) {
    if (r.path.empty()) {
      std::printf("error %s\n", r.failure.c_str());
      continue;
    }
    if (notification_) notification_->notifyLoggingRecovered(QString::fromStdString(r.path));
  }
}
