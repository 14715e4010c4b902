// The more button, its menu and the settings window over a real root model on simulated Macs,
// with no helper answering: the rows and what they do, the button's fills and fading, the corner
// shape, and every settings control writing its key with the window and the sampler following.
// The open menu and both settings tabs are kept as PNG artifacts.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include "app/core/UserDefaults.h"
#include "app/model/GeneralModel.h"
#include "app/ui/ContentView.h"
#include "app/ui/GPUSettingsView.h"
#include "app/ui/MainInterface.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModuleTitle.h"
#include "app/ui/ModuleView.h"
#include "app/ui/ModuleViewMoreButton.h"
#include "app/ui/ModuleViewMoreButtonButton.h"
#include "app/ui/ModuleViewMoreButtonMenuContent.h"
#include "app/ui/RoundedCorner.h"
#include "app/ui/SettingsView.h"
#include "app/ui/graph/GraphView.h"
#include "ui/graph/GalleryHelpers.h"

namespace {

struct Window {
  QTemporaryDir dir;
  UserDefaults defaults{dir.filePath("defaults.ini")};
  std::unique_ptr<platform::Platform> machine;
  std::unique_ptr<GeneralModel> model;
  std::unique_ptr<MainWindow> window;

  explicit Window(const QString& profile = "macbookpro-m2pro") {
    qputenv("FERROLUX_HELPER_ENDPOINT", dir.filePath("nobody.sock").toUtf8());
    qputenv("XDG_STATE_HOME", dir.filePath("state").toUtf8());
    defaults.setValue(defaults::kPathFolderLocation, dir.path());
    machine = std::move(platform::create("sim:" + profile.toStdString()).platform);
    GeneralModel::Environment env;
    env.platform = machine.get();
    env.defaults = &defaults;
    model = std::make_unique<GeneralModel>(std::move(env));
    window = std::make_unique<MainWindow>(*model, defaults);
    window->show();
  }
  ModuleViewMoreButton& button() const {
    return *qobject_cast<ModuleViewMoreButton*>(window->contentView()->moreButton());
  }
  QMenu& menu() const { return *button().trigger()->menu(); }
  QAction* row(const QString& title) const {
    for (QAction* a : menu().actions())
      if (a->text() == title) return a;
    return nullptr;
  }
};

}  // namespace

class MenuAndSettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void rowsInOrderBySystemVersion_data();
  void rowsInOrderBySystemVersion();
  void uninstallFollowsTheHelper();
  void logToFileTurnsTheButtonPink();
  void fadesWhileNoWindowIsActive();
  void roundedCornerPath_data();
  void roundedCornerPath();
  void settingsControlsWriteTheirKeys_data();
  void settingsControlsWriteTheirKeys();
  void locationRowFallsBack_data();
  void locationRowFallsBack();
  void folderChooserConfirmOrCancel();
  void badValuesReadAsDefaultsAndStay();
  void oneSettingsWindowInPictures();
};

void MenuAndSettingsTest::rowsInOrderBySystemVersion_data() {
  QTest::addColumn<QString>("profile");
  QTest::addColumn<QString>("settings");
  QTest::newRow("macOS 12") << "macmini-m1"
                            << "Preferences...";
  QTest::newRow("macOS 13") << "macbookpro-m2pro"
                            << "Settings...";
  QTest::newRow("macOS 14") << "macbookpro-m3max"
                            << "Settings...";
}

void MenuAndSettingsTest::rowsInOrderBySystemVersion() {
  QFETCH(QString, profile);
  QFETCH(QString, settings);
  Window w(profile);
  QStringList shown;
  for (QAction* a : w.menu().actions())
    shown << (a->isSeparator() ? "-" : a->text()) + (a->isCheckable() ? "[x]" : "");
  const QStringList expected{"Check for Update",
                             "Uninstall Helper",
                             "-",
                             "Log to file[x]",
                             settings,
                             "-",
                             "Try Trayline...",
                             "Paypal Tip 5 Euros",
                             "Paypal Tip 10 Euros",
                             "Paypal Tip 15 Euros",
                             "Paypal Tip 20 Euros",
                             "-",
                             "Follow on Twitter",
                             "Follow on Mastodon",
                             "Contact Developer",
                             "-",
                             "Quit Ferrolux"};
  QCOMPARE(shown, expected);
  // Every row is built fresh: the ids of two builds never repeat.
  const auto first = ModuleViewMoreButtonMenuContent::rows(*w.model, {});
  const auto second = ModuleViewMoreButtonMenuContent::rows(*w.model, {});
  QCOMPARE(first.size(), 17);
  QVERIFY(first[0].id != second[0].id && !QUuid(first[0].id).isNull());
  QVERIFY(w.button().trigger()->focusPolicy() == Qt::NoFocus);
}

void MenuAndSettingsTest::uninstallFollowsTheHelper() {
  Window w;
  QVERIFY(!w.row("Uninstall Helper")->isEnabled());
  // What the manager does on a successful install: set the flag, then refresh its more-button
  // delegate.
  w.model->xpcmanager().setAuthorized(true);
  w.model->modelMoreButton().refresh();
  QTRY_VERIFY(w.row("Uninstall Helper")->isEnabled());
  w.model->xpcmanager().setAuthorized(false);
  w.model->modelMoreButton().refresh();
  QTRY_VERIFY(!w.row("Uninstall Helper")->isEnabled());
}

void MenuAndSettingsTest::logToFileTurnsTheButtonPink() {
  Window w;
  ModuleViewMoreButtonButton& background = *w.button().background();
  const QColor pink = Style::color(NamedColor::Pink, false);
  struct Step {
    bool hover;
    bool logging;
    double alpha;  // of the fill, pink while logging
  };
  // The pointer's entering and leaving, as the window system reports them to the button.
  auto hover = [&](bool on) {
    if (on) {
      QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
      QCoreApplication::sendEvent(&w.button(), &enter);
    } else {
      QEvent leave(QEvent::Leave);
      QCoreApplication::sendEvent(&w.button(), &leave);
    }
  };
  const Step steps[] = {{false, true, 0.6}, {true, true, 0.8}, {false, false, 0.0}};
  for (const Step& s : steps) {
    hover(s.hover);
    QCOMPARE(background.isHover(), s.hover);
    w.menu().aboutToShow();
    if (w.model->logfileModel().isLogEnabled() != s.logging) w.row("Log to file")->trigger();
    QCOMPARE(w.model->logfileModel().isLogEnabled(), s.logging);
    QTRY_COMPARE(w.row("Log to file")->isChecked(), s.logging);
    const QColor fill = background.fillColor();
    QVERIFY2(qAbs(fill.alphaF() - s.alpha) < 0.01, qPrintable(QString::number(fill.alphaF())));
    // Drawn: the middle of the background is that fill over the window colour.
    const QImage image = gallery::shot(background, false);
    const QColor middle = image.pixelColor(image.width() / 2, image.height() / 2);
    const QColor under = Style::color(NamedColor::WindowBackground, false);
    const int expectedRed = qRound(under.red() + (pink.red() - under.red()) * s.alpha);
    if (s.logging)
      QVERIFY2(qAbs(middle.red() - expectedRed) <= 3, qPrintable(middle.name()));
    else
      QCOMPARE(middle, under);
  }
  // Hovered without logging: the primary text colour, faintly.
  hover(true);
  QCOMPARE(background.fillColor().rgb(), Style::color(NamedColor::Label, false).rgb());
  QVERIFY(background.fillColor().alphaF() < 0.11);
  // The top-right corner is cut along its curve; the top-left keeps only the small radius.
  w.model->logfileModel().setIsLogEnabled(true);
  const QImage image = gallery::bare(background);
  QCOMPARE(qAlpha(image.pixel(image.width() - 1, 0)), 0);
  QVERIFY(qAlpha(image.pixel(image.width() - 3, 3)) > 0);
  w.model->logfileModel().setIsLogEnabled(false);
}

void MenuAndSettingsTest::fadesWhileNoWindowIsActive() {
  Window w;
  ModuleViewMoreButton& button = w.button();
  QCOMPARE(button.opacity(), 1.0);
  emit qApp->focusWindowChanged(nullptr);
  QCOMPARE(button.opacity(), ModuleViewMoreButton::kDimmedOpacity);
  QVERIFY(button.isDimmed());
  emit qApp->focusWindowChanged(w.window->windowHandle());
  QCOMPARE(button.opacity(), 1.0);
}

void MenuAndSettingsTest::roundedCornerPath_data() {
  QTest::addColumn<int>("corners");
  for (int bits = 0; bits < 16; ++bits)
    QTest::newRow(qPrintable(QString("corners %1").arg(bits))) << bits;
}

void MenuAndSettingsTest::roundedCornerPath() {
  QFETCH(int, corners);
  const QSizeF size(40, 30);
  const QPainterPath path = RoundedCorner{10, Corners(corners)}.path(size);
  // Starts at the top-right point, one line per corner plus one curve per selected corner (Qt
  // drops the first line when it goes nowhere, with the top-right corner square).
  QCOMPARE(path.elementAt(0).type, QPainterPath::MoveToElement);
  QCOMPARE(QPointF(path.elementAt(0)), QPointF(40, 0));
  const bool squareStart = !Corners(corners).testFlag(Corner::TopRight);
  QCOMPARE(path.elementCount(), 1 + 4 - squareStart + 3 * qPopulationCount(quint32(corners)));
  const struct {
    Corner corner;
    QPointF tip;     // just inside the corner: cut off when selected
    QPointF inside;  // inside the curve: always kept
  } probes[] = {{Corner::TopRight, {39.7, 0.3}, {35, 5}},
                {Corner::BottomRight, {39.7, 29.7}, {35, 25}},
                {Corner::BottomLeft, {0.3, 29.7}, {5, 25}},
                {Corner::TopLeft, {0.3, 0.3}, {5, 5}}};
  for (const auto& p : probes) {
    QCOMPARE(path.contains(p.tip), !Corners(corners).testFlag(p.corner));
    QVERIFY(path.contains(p.inside));
  }
  QVERIFY(path.contains(QPointF(20, 15)));
}

void MenuAndSettingsTest::settingsControlsWriteTheirKeys_data() {
  QTest::addColumn<QString>("control");
  QTest::addColumn<QString>("key");
  QTest::newRow("temperature") << "temperature" << defaults::kTemperatureUnit;
  QTest::newRow("gpu utilization") << "gpuUtilization" << defaults::kGPUUtilization;
  QTest::newRow("e/p utilization") << "showEPUtilization" << defaults::kShowEPUtilization;
  QTest::newRow("gpu frequency") << "gpuFrequency" << defaults::kGPUFrequency;
}

void MenuAndSettingsTest::settingsControlsWriteTheirKeys() {
  QFETCH(QString, control);
  QFETCH(QString, key);
  Window w;
  bool askedForGPU = false;
  w.model->modelPowerMetrics().setHelperLink(
      {[&](double, bool gpu) { askedForGPU = gpu; }, [] { return true; }});
  SettingsView* settings = SettingsView::showSettingsWindow(*w.model, w.defaults);
  GPUSettingsView& gpu = *settings->gpu();
  QVERIFY(!w.defaults.contains(key));

  if (control == "temperature") {
    QComboBox* box = settings->general()->temperature();
    QCOMPARE(box->currentText(), QString("℃ — Celsius"));
    box->activated(1);
    QCOMPARE(w.defaults.temperatureUnit(), 1);
    // Another writer of the key: the picker follows.
    w.defaults.setValue(key, 0);
    QCOMPARE(box->currentIndex(), 0);
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
  }
  settings->close();
  QTRY_VERIFY(!SettingsView::instance());
}

void MenuAndSettingsTest::locationRowFallsBack_data() {
  QTest::addColumn<QString>("stored");    // "dir", "deleted" or "" (unset)
  QTest::addColumn<QString>("recorder");  // the recorder's folder, or ""
  QTest::addColumn<QString>("shown");     // "dir", "recorder" or "desktop"
  QTest::newRow("unset, no recorder folder") << ""
                                             << ""
                                             << "desktop";
  QTest::newRow("unset, recorder folder") << ""
                                          << "/var/tmp"
                                          << "recorder";
  QTest::newRow("existing folder") << "dir"
                                   << "/var/tmp"
                                   << "dir";
  QTest::newRow("deleted folder") << "deleted"
                                  << "/var/tmp"
                                  << "recorder";
  QTest::newRow("deleted folder, no recorder folder") << "deleted"
                                                      << ""
                                                      << "desktop";
  QTest::newRow("recorder folder gone too") << "deleted"
                                            << "/nonexistent/ferrolux"
                                            << "desktop";
}

void MenuAndSettingsTest::locationRowFallsBack() {
  QFETCH(QString, stored);
  QFETCH(QString, recorder);
  QFETCH(QString, shown);
  QTemporaryDir dir;
  const QString folder = dir.filePath("logs");
  QDir().mkpath(folder);
  if (stored == "deleted") QDir(folder).removeRecursively();
  const std::optional<QString> storedValue =
      stored.isEmpty() ? std::nullopt : std::optional<QString>(folder);
  const std::optional<QString> recorderValue =
      recorder.isEmpty() ? std::nullopt : std::optional<QString>(recorder);
  const QString expected = shown == "dir" ? folder
                           : shown == "recorder"
                               ? recorder
                               : QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
  QCOMPARE(GeneralSettingsView::displayedPath(storedValue, recorderValue), expected);
}

void MenuAndSettingsTest::folderChooserConfirmOrCancel() {
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
           QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
  QCOMPARE(*w.defaults.pathFolderLocation(), chosen);
}

void MenuAndSettingsTest::badValuesReadAsDefaultsAndStay() {
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

void MenuAndSettingsTest::oneSettingsWindowInPictures() {
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

QTEST_MAIN(MenuAndSettingsTest)
#include "MenuAndSettingsTest.moc"
