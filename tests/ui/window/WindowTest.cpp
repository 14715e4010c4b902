// The monitor window over a real root model on simulated Macs, with no helper answering:
// what it shows and hides, the texts and series its modules build from the models and the
// settings, and the whole window drawn to pixels in both appearances.
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <cmath>
#include <limits>

#include "app/core/BundleInfo.h"
#include "app/core/UserDefaults.h"
#include "app/log/LogFileModel.h"
#include "app/model/GeneralModel.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/ContentView.h"
#include "app/ui/GraphLineTitle.h"
#include "app/ui/HelperCard.h"
#include "app/ui/LegendViewGeometry.h"
#include "app/ui/MainInterface.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModuleTitle.h"
#include "app/ui/ModuleView.h"
#include "app/ui/ModuleViewMainTitle.h"
#include "app/ui/ModuleViewMoreButton.h"
#include "app/ui/SettingsView.h"
#include "app/ui/graph/GraphView.h"
#include "ui/graph/GalleryHelpers.h"
#include "ui/window/WindowFixture.h"
#include "unit/metrics/SampleBuilders.h"

namespace {

struct Window : fxtest::Window {
  using fxtest::Window::Window;
  QStringList legend(int i) const {
    QStringList texts;
    for (const LegendEntry* entry : module(i).legend()->entries()) {
      const auto* single = qobject_cast<const GraphSingleLineTitle*>(entry);
      texts << (single ? single->label() : "") + "=" + entry->value();
    }
    return texts;
  }
  // Samples as the sample store would apply them from helper replies.
  void feed(const plist::Value& sample, int times = 1) {
    SGPowerMetrics& store = model->modelPowerMetrics();
    store.setHelperLink({[](double, bool) {}, [] { return true; }});
    for (int i = 0; i < times; ++i)
      store.applySample(sample);
    QCoreApplication::processEvents();  // "UpdateView" comes asynchronously
  }
};

// `wobble` moves every figure a little, so that no curve is a flat line between two pixel rows.
// `unread` lists energy entries the sampler could not read, with why; they are left out.
plist::Value sample(double cpuEnergy, int wobble = 0, const QVariantMap& unread = {}) {
  const double w = wobble % 5;
  plist::Dict processor{{"combined_power", 12000.0 + 1500 * w},
                        {"cpu_energy", cpuEnergy},
                        {"gpu_energy", 500.0 + 300 * w},
                        {"dram_energy", 400.0 + 200 * w},
                        {"clusters", plist::Array{fxtest::cluster("E-Cluster", 2.0e9),
                                                  fxtest::cluster("P-Cluster", 3.2e9)}}};
  plist::Dict why;
  for (auto it = unread.cbegin(); it != unread.cend(); ++it) {
    processor.erase(it.key().toStdString());
    why.emplace(it.key().toStdString(), it.value().toString().toStdString());
  }
  if (!why.empty()) processor.emplace("unread_energy", std::move(why));
  return fxtest::withProcessor(std::move(processor),
                               plist::Dict{{"gpu", plist::Dict{{"freq_hz", 1000.0}}}});
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void refusalIsAllOnOtherProcessors();
  void helperCardCoversTheModulesButNotTheTitle();
  void updateButtonHidesAtOnce();
  void legendsFollowModelsAndSettings_data();
  void legendsFollowModelsAndSettings();
  void linuxWithoutSensorsOrCountersShowsNoMarkers();
  void windowIsFixedWithItsMenus();
  void shortScreenScrollsTheCards();
  void wholeWindowInBothAppearances();
  void samplesRepaintWhatAFullRepaintShows();
};

void WindowTest::refusalIsAllOnOtherProcessors() {
  Window w("macbookpro-intel");
  gallery::save(w.window->grab().toImage(), "window-refusal");
  QCOMPARE(w.interface().refusal()->text(), MainInterface::refusalText());
  QVERIFY(w.interface().refusal()->isVisible());
  QVERIFY(!w.interface().title() && w.interface().modules().isEmpty());
  QVERIFY(!w.interface().helperCard());
  // That the helper is never contacted is RootModelTest.RefusedProcessorNeverContactsTheHelper.
}

void WindowTest::helperCardCoversTheModulesButNotTheTitle() {
  Window w("macbookpro-m2pro");
  HelperCard* card = w.interface().helperCard();
  QVERIFY(card->isVisible());
  QVERIFY(card->installButton()->isVisible() && !card->updateButton()->isVisible());
  QCOMPARE(card->welcome()->text(), QString("Welcome"));
  // Its text keeps 64 pt clear on both sides, wrapped lines included.
  QVERIFY(card->text()->geometry().left() >= HelperCard::kTextPadding);
  QVERIFY(card->text()->geometry().right() < card->width() - HelperCard::kTextPadding);
  const QRect over(card->mapTo(w.window.get(), QPoint()), card->size());
  for (ModuleView* module : w.interface().modules()) {
    const QRect cardOnWindow(module->mapTo(w.window.get(), module->cardRect().topLeft().toPoint()),
                             module->cardRect().size().toSize());
    QVERIFY(over.contains(cardOnWindow));
  }
  const auto* title = w.interface().title();
  QVERIFY(!over.intersects(QRect(title->mapTo(w.window.get(), QPoint()), title->size())));
  QCOMPARE(title->texts().at(0), w.model->modelMainTitle().appleSiliconName());
  gallery::save(w.window->grab().toImage(), "window-install-prompt");
  w.model->xpcmanager().setAuthorized(true);
  w.interface().refresh();
  QVERIFY(!card->isVisible());
}

void WindowTest::updateButtonHidesAtOnce() {
  Window w("macbookpro-m2pro");
  w.model->xpcmanager().setUpdateNeeded(true);
  w.interface().refresh();
  HelperCard* card = w.interface().helperCard();
  QVERIFY(card->updateButton()->isVisible() && !card->installButton()->isVisible());
  QTest::mouseClick(card->updateButton(), Qt::LeftButton);
  QVERIFY(!card->updateButton()->isVisible());
  QVERIFY(w.interface().hideUpdateButton());
  QCOMPARE(card->text()->text(),
           QString("\nThe Ferrolux Powermetrics Helper need being updated\n"));
}

void WindowTest::legendsFollowModelsAndSettings_data() {
  QTest::addColumn<QString>("profile");
  QTest::addColumn<bool>("gpuFrequency");
  QTest::addColumn<double>("cpuEnergy");  // millijoules over the 500 ms sample
  QTest::addColumn<QVariantMap>("unread");
  QTest::addColumn<QStringList>("power");
  QTest::addColumn<QStringList>("powerTips");
  QTest::addColumn<QStringList>("frequency");
  QTest::addColumn<int>("frequencyCurves");
  QTest::addColumn<int>("powerCurves");  // none for a domain shown as "N/A" but macOS 13's DRAM
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // macOS 13: no DRAM figure, "N/A" in the legend while the curve is still drawn.
  const QString os13 = "Not reported by the sampler on macOS 13 or later";
  QTest::newRow("os13, no gpu") << "macbookpro-m2pro" << false << 2500.0 << QVariantMap{}
                                << QStringList{"PKG=12.00", "CPU=5.00", "DRAM=N/A", "GPU=1.00"}
                                << QStringList{"", "", os13, ""}
                                << QStringList{"E-CORE=2.00", "P-CORE=3.20"} << 2 << 4;
  // No package figure in the sample: "N/A", not a 0 W reading.
  QTest::newRow("os12, gpu, no cpu reading")
      << "macmini-m1" << true << nan << QVariantMap{}
      << QStringList{"PKG=N/A", "CPU=\u2013", "DRAM=0.80", "GPU=1.00"}
      << QStringList{"Not reported by the sampler", "", "", ""}
      << QStringList{"E-CORE=2.00", "P-CORE=3.20", "GPU=1.00"} << 3 << 3;
  // 198 W of CPU: name and figure both whole in the 65 pt entry.
  QTest::newRow("200 W") << "macbookpro-m2pro" << false << 99155.0 << QVariantMap{}
                         << QStringList{"PKG=12.00", "CPU=198.31", "DRAM=N/A", "GPU=1.00"}
                         << QStringList{"", "", os13, ""}
                         << QStringList{"E-CORE=2.00", "P-CORE=3.20"} << 2 << 4;
  // A Linux sampler that names what it could not read: "N/A" and why, never "0.00".
  QTest::newRow("unread domains")
      << "macmini-m1" << false << 2500.0
      << QVariantMap{{"package_energy", "permission"}, {"dram_energy", "no zone"}}
      << QStringList{"PKG=N/A", "CPU=5.00", "DRAM=N/A", "GPU=1.00"}
      << QStringList{"Needs the installed helper: only root may read this machine's power counters",
                     "", "Not measured on this machine: it has no power counter for this domain",
                     ""}
      << QStringList{"E-CORE=2.00", "P-CORE=3.20"} << 2 << 2;
  // Cores of one kind and no GPU: no E-core or GPU entry or curve, never a made-up "0.00".
  QTest::newRow("linux, no e-cores, no gpu")
      << "linux:vm-minimal" << true << 2500.0 << QVariantMap{}
      << QStringList{"PKG=N/A", "CPU=5.00", "DRAM=0.80", "GPU=1.00"}
      << QStringList{"Not reported by the sampler", "", "", ""} << QStringList{"P-CORE=3.20"} << 1
      << 3;
}

void WindowTest::legendsFollowModelsAndSettings() {
  QFETCH(QString, profile);
  QFETCH(bool, gpuFrequency);
  QFETCH(double, cpuEnergy);
  QFETCH(QVariantMap, unread);
  QFETCH(QStringList, power);
  QFETCH(QStringList, powerTips);
  QFETCH(QStringList, frequency);
  QFETCH(int, frequencyCurves);
  QFETCH(int, powerCurves);
  Window w(profile);
  // Before the first sample no legend shows a figure: the models' zeros are not readings.
  for (int i = 0; i < 4; ++i)
    for (const QString& text : w.legend(i))
      QVERIFY2(text.endsWith("=\u2013") || text == "DRAM=N/A", qPrintable(text));
  w.feed(sample(cpuEnergy, 0, unread), 3);
  // The setting is read live: turning it on adds the entry and the curve, off removes both.
  w.defaults.setValue(defaults::kGPUFrequency, gpuFrequency);
  QCOMPARE(w.legend(0), power);
  QStringList tips;
  for (const LegendEntry* entry : w.module(0).legend()->entries()) {
    tips << entry->toolTip();
    // Drawn whole: the name at its size, the figure at the size it is drawn at.
    const LegendEntryLayout layout = entry->entryLayout();
    const QString label = qobject_cast<const GraphSingleLineTitle*>(entry)->label();
    QVERIFY(QFontMetricsF(LegendEntry::labelFont()).horizontalAdvance(label) <=
            layout.label.width() + 0.01);
    const QFont font =
        LegendEntry::fittedFont(LegendEntry::valueFont(), entry->value(), layout.value.width());
    QVERIFY(QFontMetricsF(font).horizontalAdvance(entry->value()) <= layout.value.width() + 0.01);
  }
  QCOMPARE(tips, powerTips);
  QCOMPARE(w.legend(1), frequency);
  QCOMPARE(w.module(1).graph()->datas().size(), frequencyCurves);
  QCOMPARE(w.module(0).graph()->datas().size(), powerCurves);
  for (const GraphData& curve : w.module(0).graph()->datas())
    QCOMPARE(curve.data.size(), 3);
  // Turning the setting over adds or removes the GPU entry, where the machine has a GPU.
  const int gpu = gpuFrequency ? -int(frequency.filter("GPU=").size()) : 1;
  w.defaults.setValue(defaults::kGPUFrequency, !gpuFrequency);
  QCOMPARE(w.legend(1).size(), frequency.size() + gpu);
  QCOMPARE(w.module(1).graph()->datas().size(), frequencyCurves + gpu);
}

void WindowTest::linuxWithoutSensorsOrCountersShowsNoMarkers() {
  // A virtual machine: no temperature sensor, no power counter, as the Linux sampler reports it.
  Window w("linux:vm-minimal");
  QVariantMap unread;
  for (const char* entry :
       {"cpu_energy", "package_energy", "combined_power", "dram_energy", "gpu_energy"})
    unread[entry] = "no zone";
  w.feed(sample(0, 0, unread), 2);
  QCOMPARE(w.legend(0), (QStringList{"PKG=N/A", "CPU=N/A", "DRAM=N/A", "GPU=N/A"}));
  QVERIFY(w.module(0).graph()->datas().isEmpty());  // no flat line at 0 W
  for (const LegendEntry* entry : w.module(2).legend()->entries())
    QCOMPARE(entry->value(), QString("\u2013"));
  // Cores of one kind and no GPU: P-cores only, whatever the GPU settings say.
  w.defaults.setValue(defaults::kShowEPUtilization, true);
  w.defaults.setValue(defaults::kGPUFrequency, true);
  w.defaults.setValue(defaults::kGPUUtilization, true);
  for (int i : {1, 3}) {
    QCOMPARE(w.legend(i).size(), 1);
    QVERIFY(w.legend(i).at(0).startsWith("P-CORE="));
    QCOMPARE(w.module(i).graph()->datas().size(), 1);
  }
  for (int i = 0; i < 4; ++i)
    for (const QString& text : w.legend(i))
      QVERIFY2(!text.contains("-1"), qPrintable(text));
}

void WindowTest::windowIsFixedWithItsMenus() {
  Window w("macbookpro-m2pro");
  QCOMPARE(w.window->contentView()->width(), ContentView::kWidth);
  QCOMPARE(w.window->minimumSize(), w.window->maximumSize());
  QVERIFY(!(w.window->windowFlags() & Qt::WindowMaximizeButtonHint));
  QCOMPARE(w.window->loggingMenu()->title(), QString("&Logging"));
  const QList<QAction*> logging = w.window->loggingMenu()->actions();
  QCOMPARE(logging.size(), 1);
  QCOMPARE(logging[0]->text(), QString("Log to file"));
  // Ctrl+L reaches the menu's toggle from the window, both ways.
  qputenv("HOME", w.dir.path().toUtf8());
  QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
  for (bool on : {true, false}) {
    QTest::keyClick(w.window.get(), Qt::Key_L, Qt::ControlModifier);
    QCOMPARE(w.model->logfileModel().isLogEnabled(), on);
    QCOMPARE(logging[0]->isChecked(), on);
  }
  QStringList titles;
  for (QAction* action : w.window->menuBar()->actions())
    titles << action->text();
  QCOMPARE(titles, (QStringList{"&File", "&Logging", "&Help"}));
  QStringList file;
  for (QAction* action : w.window->fileMenu()->actions())
    file << action->text();
  QCOMPARE(file,
           (QStringList{"&Settings...", "Check for &Update", "&Uninstall Helper", "", "&Quit"}));
  QStringList help;
  for (QAction* action : w.window->helpMenu()->actions())
    help << action->text();
  QCOMPARE(help, (QStringList{"Ferrolux &Help", "&About Ferrolux"}));
  QVERIFY(AboutDialog::text().contains(BundleInfo::application().shortVersion));
  QVERIFY(AboutDialog::text().contains("https://tarquell.com/ferrolux"));
  QVERIFY(AboutDialog::text().contains("licence"));
  // Ctrl+Comma opens the settings, Esc closes them, Ctrl+Q asks for the normal quit.
  QTest::keyClick(w.window.get(), Qt::Key_Comma, Qt::ControlModifier);
  QPointer<SettingsView> settings = SettingsView::instance();
  QVERIFY(settings);
  QVERIFY(QTest::qWaitForWindowActive(settings.data()));
  QTest::keyClick(settings.data(), Qt::Key_Escape);
  QTRY_VERIFY(!settings);
  QSignalSpy quit(w.window->quitAction(), &QAction::triggered);
  w.window->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
  QTest::keyClick(w.window.get(), Qt::Key_Q, Qt::ControlModifier);
  QCOMPARE(quit.size(), 1);
  // Tab reaches the more button; Space opens its menu.
  QToolButton* trigger = w.button().trigger();
  for (int i = 0; i < 4 && !trigger->hasFocus(); ++i)
    QTest::keyClick(w.window.get(), Qt::Key_Tab);
  QVERIFY(trigger->hasFocus());
  bool opened = false;
  QTimer::singleShot(0, &w.menu(), [&] {
    opened = w.menu().isVisible();
    w.menu().close();
  });
  QTest::keyClick(trigger, Qt::Key_Space);
  QTRY_VERIFY(opened);
  // The module cards span the content less its padding.
  QCOMPARE(w.module(0).cardRect().width(), ContentView::kWidth - 2.0 * ContentView::kPadding);
  QCOMPARE(w.module(0).cardRect().height(), 160.0);
  // The plot has the graph's whole height: from 10 under the legend band down to the card's
  // padding; only the edge labels' overhang lies outside it.
  for (ModuleView* module : w.interface().modules()) {
    const QRect graph = module->graphRect();
    QCOMPARE(graph.bottom(), module->contentRect().bottom());
    QCOMPARE(graph.top(), module->legend()->geometry().top() + module->legend()->bandTop() + 20 +
                              module->graphTopPadding());
    QCOMPARE(module->graph()->geometry(), graph.adjusted(0, -5, 0, 5));
  }
}

void WindowTest::shortScreenScrollsTheCards() {
  Window w("macbookpro-m2pro");
  const QSize full = w.window->size();
  QScrollBar* bar = w.window->scrollArea()->verticalScrollBar();
  const auto heights = [&] {
    return QString("content %1, viewport %2")
        .arg(w.window->contentView()->height())
        .arg(w.window->scrollArea()->viewport()->height());
  };
  QTRY_VERIFY2(!bar->isVisible(), qPrintable(heights()));
  // A 768-pixel screen less its panels: the window takes what there is and the cards scroll,
  // at their own width and in their own layout.
  w.window->fitToHeight(500);
  QCOMPARE(w.window->frameGeometry().height(), 500);  // its frame included
  QTRY_VERIFY(bar->isVisible());
  QCOMPARE(w.window->contentView()->width(), ContentView::kWidth);
  QCOMPARE(w.module(0).cardRect().width(), ContentView::kWidth - 2.0 * ContentView::kPadding);
  bar->setValue(bar->maximum());
  QWidget* viewport = w.window->scrollArea()->viewport();
  ModuleView& last = w.module(3);
  const QRect lastOnViewport(last.mapTo(viewport, QPoint()), last.size());
  QVERIFY(viewport->rect().contains(lastOnViewport));
  w.window->fitToHeight(-1);
  QCOMPARE(w.window->size(), full);
  QTRY_VERIFY(!bar->isVisible());
}

void WindowTest::wholeWindowInBothAppearances() {
  Window w("macbookpro-m2pro");
  w.model->xpcmanager().setAuthorized(true);
  w.interface().refresh();
  w.defaults.setValue(defaults::kGPUFrequency, true);
  // The CPU follows the host's load and may sit on the plot's edge; the simulated GPU does not.
  w.defaults.setValue(defaults::kGPUUtilization, true);
  for (int i = 0; i < 40; ++i)
    w.feed(sample(1000.0 + 60.0 * (i % 7), i));
  for (bool dark : {false, true}) {
    // No new sample between the two: the colours are looked up when painting.
    QApplication::setPalette(gallery::palette(dark));
    QCoreApplication::processEvents();
    const QImage image = w.window->grab().toImage();
    gallery::save(image, QString("window-%1").arg(dark ? "dark" : "light"));
    for (ModuleView* module : w.interface().modules()) {
      const QRect plot(module->graph()->mapTo(w.window.get(), QPoint(0, 5)),
                       module->graph()->size() - QSize(20, 10));
      const QImage graph = image.copy(plot);
      // Curves cover each other, so the colours are counted over the module: the current
      // appearance's variants are there, the other appearance's are not.
      int shown = 0, stale = 0;
      for (const GraphData& series : module->graph()->datas()) {
        shown += gallery::count(graph, series.color.resolve(dark), 2);
        stale += gallery::count(graph, series.color.resolve(!dark), 2);
      }
      QVERIFY2(shown > 20, qPrintable(module->title()->labelLeft()));
      // An antialiased edge between two curves can land on another variant by chance; a stale
      // appearance paints whole curves in it.
      QVERIFY2(stale < 10, qPrintable(module->title()->labelLeft()));
      // The plot is painted opaque on the card's own colour: between its first two grid lines,
      // left of the 40 samples' curves, it matches the card's padding beside it exactly.
      const int y = plot.top() + plot.height() / (2 * (module->graph()->axisLabels().size() - 1));
      QCOMPARE(image.pixelColor(plot.left() + 10, y), image.pixelColor(plot.left() - 4, y));
    }
  }
}

void WindowTest::samplesRepaintWhatAFullRepaintShows() {
  // A sample repaints only what it changed: legend values and plots, each on what it covers.
  // What is then on screen must be what painting the whole window again shows.
  Window w("macbookpro-m2pro");
  w.model->xpcmanager().setAuthorized(true);
  w.interface().refresh();
  w.defaults.setValue(defaults::kGPUFrequency, true);
  QVERIFY(QTest::qWaitForWindowExposed(w.window.get()));
  const auto onScreen = [&] {
    QCoreApplication::processEvents();
    return w.window->screen()->grabWindow(w.window->winId()).toImage();
  };
  QImage shown;
  // The CPU figure jumps between one and two digits, so values change width and the curves
  // make sharp turns.
  for (int i = 0; i < 40; ++i) {
    w.feed(sample(i % 3 == 0 ? 800.0 : 6000.0 + 97.0 * i, i));
    if (i < 30) continue;
    const QImage afterSample = onScreen();
    QVERIFY(!afterSample.isNull() && afterSample != shown);
    shown = afterSample;
    w.window->repaint();
    QVERIFY2(afterSample == onScreen(), qPrintable(QString("sample %1").arg(i)));
  }
}

QTEST_MAIN(WindowTest)
#include "WindowTest.moc"
