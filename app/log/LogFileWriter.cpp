#include "app/log/LogFileWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

#include "app/core/CheckedFile.h"

namespace logfile {

SaveResult save(const std::vector<std::string>& folders, const std::string& name,
                std::string_view text) {
  SaveResult result;
  for (const std::string& folder : folders) {
    const std::string absolute =
        QFileInfo(QString::fromStdString(folder)).absoluteFilePath().toStdString();
    const checkedfile::NewFile written = checkedfile::writeNewFile(absolute, name, ".csv", text);
    if (!written.path.empty()) {
      result.path = written.path;
      return result;
    }
    if (!result.failure.empty()) result.failure += "; ";
    result.failure += folder + ": " + written.failure;
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
