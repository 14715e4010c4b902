// The settings window over a real root model on a simulated Mac, with no helper answering: every
// control writing its key with the window and the sampler following, the location row, and bad
// stored values. The open menu and both settings tabs are kept as PNG artifacts.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "app/core/UserDefaults.h"
#include "app/log/LogFileWriter.h"
#include "app/model/GeneralModel.h"
#include "app/ui/ContentView.h"
#include "app/ui/GPUSettingsView.h"
#include "app/ui/MainInterface.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModuleTitle.h"
#include "app/ui/ModuleView.h"
#include "app/ui/ModuleViewMoreButton.h"
#include "app/ui/SettingsView.h"
#include "app/ui/graph/GraphView.h"
#include "ui/graph/GalleryHelpers.h"

#include "ui/window/WindowFixture.h"

using fxtest::Window;

class SettingsWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void settingsControlsWriteTheirKeys_data();
  void settingsControlsWriteTheirKeys();
  void locationRowFallsBack();
  void folderChooserConfirmOrCancel();
  void badValuesReadAsDefaultsAndStay();
  void outsideEditShowsWithinASecond();
  void oneSettingsWindowInPictures();
};

void SettingsWindowTest::settingsControlsWriteTheirKeys_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("key");
  QTest::newRow("temperature") << "temperature" << defaults::kTemperatureUnit;
  QTest::newRow("gpu utilization") << "gpuUtilization" << defaults::kGPUUtilization;
  QTest::newRow("e/p utilization") << "showEPUtilization" << defaults::kShowEPUtilization;
  QTest::newRow("gpu frequency") << "gpuFrequency" << defaults::kGPUFrequency;
}

void SettingsWindowTest::settingsControlsWriteTheirKeys() {
  QFETCH(QString, control);
  QFETCH(QString, key);
  Window w;
  bool askedForGPU = false;
  w.model->modelPowerMetrics().setHelperLink(
      {[&](double, bool gpu) { askedForGPU = gpu; }, [] { return true; }});
  SettingsView* settings = SettingsView::showSettingsWindow(*w.model, w.defaults);
  GPUSettingsView& gpu = *settings->gpu();
  QVERIFY(!w.defaults.contains(key));
  // Settings kept below a plain file, which no one (root included) can make a folder of.
  QTemporaryDir dir;
  auto unsaveable = [&] {
    QFile(dir.filePath("plain")).open(QIODevice::WriteOnly);
    w.defaults.setFilePath(dir.filePath("plain/ferrolux.ini"));
  };

  if (control == "temperature") {
    QComboBox* box = settings->general()->temperature();
    QCOMPARE(box->currentText(), QString("℃ — Celsius"));
    box->activated(1);
    QCOMPARE(w.defaults.temperatureUnit(), 1);
    // Another writer of the key: the picker follows.
    w.defaults.setValue(key, 0);
    QCOMPARE(box->currentIndex(), 0);
    unsaveable();
    box->activated(1);
    QCOMPARE(w.defaults.temperatureUnit(), 1);
  } else {
    QCheckBox* box = control == "gpuUtilization"      ? gpu.gpuUtilization()
                     : control == "showEPUtilization" ? gpu.showEPUtilization()
                                                      : gpu.gpuFrequency();
    QVERIFY(!box->isChecked());
    box->click();
    QCOMPARE(w.defaults.value(key).toBool(), true);
    if (control == "gpuFrequency") {
      ModuleView& frequency = *w.window->contentView()->interface()->modules().at(1);
      QCOMPARE(frequency.graph()->datas().size(), 3);
      w.model->modelPowerMetrics().requestSample();
      QVERIFY(askedForGPU);
    }
    // Another writer of the key: the switch follows.
    w.defaults.setValue(key, false);
    QVERIFY(!box->isChecked());
    unsaveable();
    box->click();
    QCOMPARE(w.defaults.value(key).toBool(), true);
  }
  // The file could not be saved: the change holds for this run, and a warning says where.
  auto* warning = settings->findChild<QMessageBox*>("settingsNotSaved");
  QVERIFY(warning);
  QVERIFY(warning->text().contains(w.defaults.filePath()));
  // Once the folder can be made, the next save is judged on its own.
  QVERIFY(QFile::remove(dir.filePath("plain")) && QDir(dir.path()).mkdir("plain"));
  QVERIFY(w.defaults.setValue(key, 1));
  settings->close();
  QTRY_VERIFY(!SettingsView::instance());
}

void SettingsWindowTest::locationRowFallsBack() {
  const struct {
    const char* name;
    const char* stored;    // "dir", "deleted" or "" (unset)
    const char* recorder;  // the recorder's folder, or ""
    const char* shown;     // "dir", "recorder", "desktop" or "home"
  } rows[] = {
      {"unset, no recorder folder", "", "", "desktop"},
      {"unset, recorder folder", "", "/var/tmp", "recorder"},
      {"existing folder", "dir", "/var/tmp", "dir"},
      {"deleted folder", "deleted", "/var/tmp", "recorder"},
      {"deleted folder, no recorder folder", "deleted", "", "desktop"},
      {"recorder folder gone too", "deleted", "/nonexistent/ferrolux", "desktop"},
      // No Desktop folder: the log goes home, and the row says so.
      {"no desktop folder", "deleted", "", "home"},
  };
  const QByteArray home = qgetenv("HOME");
  const auto restore = qScopeGuard([&] { qputenv("HOME", home); });
  for (const auto& row : rows) {
    const QString stored = row.stored, recorder = row.recorder, shown = row.shown;
    QTemporaryDir dir;
    const QString folder = dir.filePath("logs");
    QDir().mkpath(folder);
    if (stored == "deleted") QDir(folder).removeRecursively();
    qputenv("HOME", dir.filePath("home").toUtf8());
    if (shown != "home") QDir().mkpath(dir.filePath("home/Desktop"));
    const std::optional<QString> storedValue =
        stored.isEmpty() ? std::nullopt : std::optional<QString>(folder);
    const std::optional<QString> recorderValue =
        recorder.isEmpty() ? std::nullopt : std::optional<QString>(recorder);
    const QString expected = shown == "dir"        ? folder
                             : shown == "recorder" ? recorder
                             : shown == "home"     ? dir.filePath("home")
                                                   : dir.filePath("home/Desktop");
    const QString got = GeneralSettingsView::displayedPath(storedValue, recorderValue);
    QVERIFY2(got == expected, qPrintable(QString("%1: %2, not %3").arg(row.name, got, expected)));
  }
}

void SettingsWindowTest::folderChooserConfirmOrCancel() {
  Window w;
  const QString chosen = w.dir.filePath("chosen");
  QDir().mkpath(chosen);
  std::optional<QString> answer;
  QString startedIn;
  SettingsView view(w.model->logfileModel(), w.defaults, [&](QWidget*, const QString& start) {
    startedIn = start;
    return answer;
  });
  const QString before = *w.defaults.pathFolderLocation();
  view.general()->locationButton()->click();  // cancelled
  QCOMPARE(*w.defaults.pathFolderLocation(), before);
  QCOMPARE(startedIn, *w.model->logfileModel().folderUseForSaving());
  answer = chosen;
  view.general()->locationButton()->click();
  QCOMPARE(*w.defaults.pathFolderLocation(), chosen);
  QCOMPARE(view.general()->locationPath()->text(), chosen);
  // The stored folder vanishes: the row falls back, the key keeps what the person chose.
  QDir(chosen).removeRecursively();
  w.defaults.setValue(defaults::kGPUFrequency, false);  // any change redraws the row
  QCOMPARE(view.general()->locationPath()->text(),
           QString::fromStdString(logfile::desktopOrHome()));
  QCOMPARE(*w.defaults.pathFolderLocation(), chosen);
}

void SettingsWindowTest::badValuesReadAsDefaultsAndStay() {
  Window w;
  const QString path = w.dir.filePath("bad.ini");
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\ntemperatureUnit=kelvin\ngpuFrequency=maybe\ngpuUtilization=12x\n");
  }
  w.defaults.setFilePath(path);
  SettingsView view(w.model->logfileModel(), w.defaults);
  QCOMPARE(view.general()->temperature()->currentIndex(), 0);
  QVERIFY(!view.gpu()->gpuFrequency()->isChecked());
  QVERIFY(!view.gpu()->gpuUtilization()->isChecked());
  QCOMPARE(w.defaults.value(defaults::kTemperatureUnit).toString(), QString("kelvin"));
  QCOMPARE(w.defaults.value(defaults::kGPUFrequency).toString(), QString("maybe"));
}

void SettingsWindowTest::outsideEditShowsWithinASecond() {
  Window w;
  w.defaults.watchForOutsideEdits();
  SettingsView view(w.model->logfileModel(), w.defaults);
  QCOMPARE(view.general()->temperature()->currentIndex(), 0);
  // Another writer (a text editor, say) switches to Fahrenheit; nothing of ours writes.
  {
    QSettings outside(w.defaults.filePath(), QSettings::IniFormat);
    outside.setValue(defaults::kTemperatureUnit, 1);
  }
  QTRY_COMPARE_WITH_TIMEOUT(view.general()->temperature()->currentIndex(), 1, 1000);
  QCOMPARE(w.module(2).title()->labelRight(), QString("\u2109"));
  // A file replaced whole, as editors save, is still watched.
  const QString path = w.defaults.filePath();
  QFile::remove(path);
  {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("[General]\ntemperatureUnit=0\n");
  }
  QTRY_COMPARE_WITH_TIMEOUT(view.general()->temperature()->currentIndex(), 0, 1000);
}

void SettingsWindowTest::oneSettingsWindowInPictures() {
  Window w;
  w.menu().popup(QPoint(0, 0));
  QTRY_VERIFY(w.menu().isVisible());
  // The window with its menu open below the button, right edges aligned, as the person sees it.
  const QImage window = w.window->grab().toImage();
  const QImage menu = w.menu().grab().toImage();
  QWidget& button = w.button();
  const QPoint below = button.mapTo(w.window.get(), QPoint(button.width(), button.height()));
  QImage open(qMax(window.width(), below.x() + 8), qMax(window.height(), below.y() + menu.height()),
              QImage::Format_ARGB32_Premultiplied);
  open.fill(Qt::transparent);
  {
    QPainter p(&open);
    p.drawImage(0, 0, window);
    p.drawImage(below.x() - menu.width(), below.y(), menu);
  }
  QVERIFY(gallery::save(open, "more-menu"));
  w.menu().hide();
  // The button itself is drawn in the window's top-right corner.
  const QImage corner = window.copy(QRect(button.mapTo(w.window.get(), QPoint()), button.size()));
  int ink = 0;
  for (int y = 0; y < corner.height(); ++y)
    for (int x = 0; x < corner.width(); ++x)
      ink += qGray(corner.pixel(x, y)) < 150;
  QVERIFY2(ink > 10, qPrintable(QString::number(ink)));

  SettingsView* first = SettingsView::showSettingsWindow(*w.model, w.defaults);
  QCOMPARE(SettingsView::showSettingsWindow(*w.model, w.defaults), first);
  QCOMPARE(first->size(), QSize(SettingsView::kWidth, SettingsView::kHeight));
  QCOMPARE(first->tabs()->tabText(0), QString("General"));
  QCOMPARE(first->tabs()->tabText(1), QString("Extra"));
  QVERIFY(gallery::save(first->grab().toImage(), "settings-general"));
  first->tabs()->setCurrentIndex(1);
  QVERIFY(gallery::save(first->grab().toImage(), "settings-extra"));
  first->close();
  QTRY_VERIFY(!SettingsView::instance());
}

QTEST_MAIN(SettingsWindowTest)
#include "SettingsWindowTest.moc"
