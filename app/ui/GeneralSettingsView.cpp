#include "app/ui/GeneralSettingsView.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

#include "app/core/NotificationCenter.h"
#include "app/core/UserDefaults.h"
#include "app/log/LogFileModel.h"
#include "app/log/LogFileWriter.h"
#include "app/ui/SettingSaver.h"

GeneralSettingsView::GeneralSettingsView(LogFileModel& modelLogFile, UserDefaults& defaults,
                                         FolderChooser chooser, QWidget* parent)
    : QWidget(parent),
      modelLogFile_(modelLogFile),
      defaults_(defaults),
      chooser_(chooser ? std::move(chooser) : FolderChooser(&GeneralSettingsView::chooseFolder)),
      location_(new QPushButton(this)),
      icon_(new QLabel(location_)),
      path_(new QLabel(location_)),
      temperature_(new QComboBox(this)) {
  auto* row = new QHBoxLayout(location_);
  row->setContentsMargins(6, 0, 6, 0);
  row->addWidget(icon_);
  row->addWidget(path_, 1);
  icon_->setFixedSize(16, 16);
  path_->setTextFormat(Qt::PlainText);
  location_->setMinimumHeight(24);
  connect(location_, &QPushButton::clicked, this, &GeneralSettingsView::chooseLogFolder);

  temperature_->addItem(QStringLiteral("℃ — Celsius"), 0);
  temperature_->addItem(QStringLiteral("℉ — Fahrenheit"), 1);
  // `activated` comes only from the person, never from refresh().
  connect(temperature_, &QComboBox::activated, this, [this](int index) {
    settingsui::save(this, defaults_, defaults::kTemperatureUnit, temperature_->itemData(index));
  });

  auto* locationForm = new QFormLayout;
  auto* locationLabel = new QLabel(tr("Log File location:"));
  locationLabel->setContentsMargins(24, 0, 0, 0);
  locationForm->addRow(locationLabel, location_);
  auto* divider = new QFrame;
  divider->setFrameShape(QFrame::HLine);
  divider->setFrameShadow(QFrame::Sunken);
  auto* temperatureForm = new QFormLayout;
  auto* temperatureLabel = new QLabel(tr("Temperature:"));
  temperatureLabel->setContentsMargins(45, 0, 0, 0);
  temperatureForm->addRow(temperatureLabel, temperature_);

  auto* stack = new QVBoxLayout(this);
  stack->addLayout(locationForm);
  stack->addSpacing(8);
  stack->addWidget(divider);
  stack->addLayout(temperatureForm);
  stack->addStretch(1);

  NotificationCenter::defaultCenter().addObserver(notifications::kUserDefaultsDidChange, this,
                                                  [this] { refresh(); });
  connect(&modelLogFile_, &LogFileModel::changed, this, &GeneralSettingsView::refresh);
  refresh();
}

QString GeneralSettingsView::displayedPath(const std::optional<QString>& stored,
                                           const std::optional<QString>& recorderFolder) {
  // Where the recorder will really write: a folder that is not there or not writable is passed
  // over by it too.
  const auto usable = [](const QString& path) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isDir() && info.isWritable();
  };
  if (stored && usable(*stored))
    return QUrl::fromLocalFile(QFileInfo(*stored).absoluteFilePath()).toLocalFile();
  // The recorder's folder mirrors the setting, so it can name the same vanished folder.
  if (recorderFolder && usable(*recorderFolder)) return *recorderFolder;
  return QString::fromStdString(logfile::desktopOrHome());
}

std::optional<QString> GeneralSettingsView::chooseFolder(QWidget* parent, const QString& startIn) {
  QFileDialog dialog(parent);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  dialog.setDirectory(startIn);
  dialog.setLabelText(QFileDialog::Accept, tr("Select"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.selectedFiles().value(0);
}

void GeneralSettingsView::chooseLogFolder() {
  const std::optional<QString>& recorder = modelLogFile_.folderUseForSaving();
  const QString start = recorder && !recorder->isEmpty()
                            ? *recorder
                            : QString::fromStdString(logfile::desktopOrHome());
  const std::optional<QString> chosen = chooser_(this, start);
  if (!chosen) return;
  settingsui::save(this, defaults_, defaults::kPathFolderLocation, *chosen);
}

void GeneralSettingsView::refresh() {
  const QString shown =
      displayedPath(defaults_.pathFolderLocation(), modelLogFile_.folderUseForSaving());
  path_->setText(shown);
  icon_->setPixmap(QFileIconProvider().icon(QFileInfo(shown)).pixmap(16, 16));
  const QSignalBlocker quiet(temperature_);
  temperature_->setCurrentIndex(defaults_.temperatureUnit() == 0 ? 0 : 1);
}
