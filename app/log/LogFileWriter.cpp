#include "app/log/LogFileWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>

namespace logfile {

std::string writeFile(const std::string& path, std::string_view text) {
  QSaveFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
  if (file.write(text.data(), static_cast<qint64>(text.size())) !=
      static_cast<qint64>(text.size())) {
    const std::string why = file.errorString().toStdString();
    file.cancelWriting();
    return why;
  }
  if (!file.commit()) return file.errorString().toStdString();
  return {};
}

SaveResult save(const std::vector<std::string>& folders, const std::string& name,
                std::string_view text) {
  SaveResult result;
  for (const std::string& folder : folders) {
    const QFileInfo dir(QString::fromStdString(folder));
    const std::string path =
        QDir(dir.absoluteFilePath()).filePath(QString::fromStdString(name + ".csv")).toStdString();
    std::string why;
    // QSaveFile would report a missing folder only as a failed open; say what is wrong.
    if (!dir.exists())
      why = "no such folder";
    else if (!dir.isDir())
      why = "not a folder";
    else
      why = writeFile(path, text);
    if (why.empty()) {
      result.path = path;
      return result;
    }
    if (!result.failure.empty()) result.failure += "; ";
    result.failure += folder + ": " + why;
  }
  if (folders.empty()) result.failure = "no folder to write to";
  return result;
}

std::string desktopOrHome() {
  const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  if (!desktop.isEmpty() && QFileInfo(desktop).isDir()) return desktop.toStdString();
  return QDir::homePath().toStdString();
}

std::vector<std::string> folders(const std::optional<std::string>& chosen) {
  std::vector<std::string> out;
  auto add = [&](const std::string& f) {
    if (!f.empty() && std::find(out.begin(), out.end(), f) == out.end()) out.push_back(f);
  };
  if (chosen) add(*chosen);
  add(desktopOrHome());
  add(QDir::homePath().toStdString());
  return out;
}

}  // namespace logfile
