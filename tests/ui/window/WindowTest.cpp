// The monitor window over a real root model on simulated Macs, with no helper answering: its
// fixed size and menus, scrolling on a short screen, and the whole window drawn to pixels in
// both appearances.
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include "app/core/BundleInfo.h"
#include "app/core/UserDefaults.h"
#include "app/log/LogFileModel.h"
#include "app/model/GeneralModel.h"
#include "app/ui/AboutDialog.h"
#include "app/ui/ContentView.h"
#include "app/ui/MainInterface.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModuleTitle.h"
#include "app/ui/ModuleView.h"
#include "app/ui/ModuleViewMoreButton.h"
#include "app/ui/SettingsView.h"
#include "app/ui/graph/GraphView.h"
#include "ui/graph/GalleryHelpers.h"
#include "ui/window/WindowFixture.h"

using fxtest::sample;
using Window = fxtest::Window;

class WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void windowIsFixedWithItsMenus();
  void shortScreenScrollsTheCards();
  void wholeWindowInBothAppearances();
  void samplesRepaintWhatAFullRepaintShows();
};

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
