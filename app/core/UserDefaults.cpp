#include "app/core/UserDefaults.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QSettings>
#include <QStandardPaths>

#include "app/core/NotificationCenter.h"

namespace {

std::unique_ptr<QSettings> openSettings(const QString& filePath) {
  QFileInfo info(filePath);
  QDir().mkpath(info.absolutePath());
  return std::make_unique<QSettings>(filePath, QSettings::IniFormat);
}

}  // namespace

UserDefaults& UserDefaults::standard() {
  // Leaked on purpose: settings may still be read while static objects are torn down.
  static UserDefaults* instance = new UserDefaults(defaultFilePath());
  return *instance;
}

QString UserDefaults::defaultFilePath() {
  const QString fromEnvironment = qEnvironmentVariable(kFileVariable);
  if (!fromEnvironment.isEmpty()) return fromEnvironment;
  QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  if (folder.isEmpty()) folder = QDir::homePath() + QStringLiteral("/.config");
  return folder + QStringLiteral("/Ferrolux/ferrolux.ini");
}

UserDefaults::UserDefaults(const QString& filePath) : settings_(openSettings(filePath)) {
  stamp_ = stampLocked();
}

UserDefaults::~UserDefaults() = default;

QString UserDefaults::filePath() const {
  std::lock_guard lock(mutex_);
  return settings_->fileName();
}

void UserDefaults::setFilePath(const QString& filePath) {
  {
    std::lock_guard lock(mutex_);
    settings_->sync();
    settings_ = openSettings(filePath);
    stamp_ = stampLocked();
  }
  if (watcher_) watch();
  announce();
}

bool UserDefaults::contains(const QString& key) const {
  std::lock_guard lock(mutex_);
  return settings_->contains(key);
}

QVariant UserDefaults::value(const QString& key) const {
  std::lock_guard lock(mutex_);
  return settings_->value(key);
}

std::optional<QString> UserDefaults::string(const QString& key) const {
  const QVariant v = value(key);
  if (!v.isValid()) return std::nullopt;
  return v.toString();
}

int64_t UserDefaults::integer(const QString& key) const {
  bool ok = false;
  const qlonglong n = value(key).toLongLong(&ok);
  if (ok) return n;
  // A real written where an integer is read ("1.0") still counts, truncated as a cast would.
  const double d = value(key).toDouble(&ok);
  return ok && d > -9.2e18 && d < 9.2e18 ? static_cast<int64_t>(d) : 0;
}

bool UserDefaults::boolean(const QString& key) const {
  const QVariant v = value(key);
  if (!v.isValid()) return false;
  // INI files hold text: accept the spellings QSettings writes and plain numbers.
  const QString text = v.toString().trimmed().toLower();
  if (text == QLatin1String("true") || text == QLatin1String("yes")) return true;
  if (text == QLatin1String("false") || text == QLatin1String("no")) return false;
  bool ok = false;
  const double d = text.toDouble(&ok);
  return ok && d != 0;
}

double UserDefaults::real(const QString& key) const {
  bool ok = false;
  const double d = value(key).toDouble(&ok);
  return ok ? d : 0;
}

bool UserDefaults::setValue(const QString& key, const QVariant& value) {
  bool saved;
  {
    std::lock_guard lock(mutex_);
    settings_->setValue(key, value);
    saved = saveLocked();
  }
  announce();
  return saved;
}

bool UserDefaults::remove(const QString& key) {
  bool saved;
  {
    std::lock_guard lock(mutex_);
    settings_->remove(key);
    saved = saveLocked();
  }
  announce();
  return saved;
}

bool UserDefaults::saveLocked() {
  // QSettings writes through a temporary file renamed over the old one, and keeps unsaved
  // changes for its next attempt; its status is the only word of a failed write.
  if (settings_->status() != QSettings::NoError) {
    // The status keeps the first error for good: after a failed save, what is unsaved moves to
    // a fresh instance, so that this save is judged on its own.
    auto fresh = openSettings(settings_->fileName());
    const QStringList keys = settings_->allKeys();
    for (const QString& key : fresh->allKeys())
      if (!keys.contains(key)) fresh->remove(key);
    for (const QString& key : keys)
      fresh->setValue(key, settings_->value(key));
    settings_ = std::move(fresh);
  }
  settings_->sync();
  stamp_ = stampLocked();
  if (settings_->status() == QSettings::NoError) return true;
  qWarning("Settings could not be saved to %s", qPrintable(settings_->fileName()));
  return false;
}

QString UserDefaults::stampLocked() const {
  const QFileInfo info(settings_->fileName());
  if (!info.exists()) return {};
  return QString::number(info.size()) + QLatin1Char(' ') +
         QString::number(info.lastModified().toMSecsSinceEpoch());
}

void UserDefaults::watchForOutsideEdits() {
  if (!watcher_) {
    watcher_ = std::make_unique<QFileSystemWatcher>();
    QObject::connect(watcher_.get(), &QFileSystemWatcher::fileChanged, watcher_.get(),
                     [this] { reloadIfEdited(); });
    QObject::connect(watcher_.get(), &QFileSystemWatcher::directoryChanged, watcher_.get(),
                     [this] { reloadIfEdited(); });
  }
  watch();
}

void UserDefaults::watch() {
  const QString file = filePath();
  if (!watcher_->files().isEmpty()) watcher_->removePaths(watcher_->files());
  if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
  watcher_->addPath(QFileInfo(file).absolutePath());
  if (QFileInfo::exists(file)) watcher_->addPath(file);
}

void UserDefaults::reloadIfEdited() {
  bool edited = false;
  {
    std::lock_guard lock(mutex_);
    const QString now = stampLocked();
    if (now != stamp_) {
      stamp_ = now;
      // sync() reads the file again when it changed; there is nothing of ours left to write.
      settings_->sync();
      edited = true;
    }
  }
  // A file replaced by an editor is a new file: watch it again.
  const QString file = filePath();
  if (QFileInfo::exists(file) && !watcher_->files().contains(file)) watcher_->addPath(file);
  if (edited) announce();
}

void UserDefaults::announce() {
  NotificationCenter::defaultCenter().post(notifications::kUserDefaultsDidChange);
}
