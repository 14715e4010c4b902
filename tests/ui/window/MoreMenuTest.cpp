// The more button and its menu over a real root model on simulated Macs, with no helper
// answering: the rows and what they do, the button's fills and fading, and the corner shape.
#include <QMenu>
#include <QPainter>
#include <QToolButton>
#include <QtTest>

#include "app/model/GeneralModel.h"
#include "app/ui/ContentView.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModuleViewMoreButton.h"
#include "app/ui/ModuleViewMoreButtonButton.h"
#include "app/ui/ModuleViewMoreButtonMenuContent.h"
#include "app/ui/RoundedCorner.h"
#include "ui/graph/GalleryHelpers.h"

#include "ui/window/WindowFixture.h"

using fxtest::Window;

class MoreMenuTest : public QObject {
  Q_OBJECT

 private slots:
  void rowsInOrderBySystemVersion_data();
  void rowsInOrderBySystemVersion();
  void uninstallFollowsTheHelper();
  void logToFileTurnsTheButtonPink();
  void fadesWhileNoWindowIsActive();
  void roundedCornerPath_data();
  void roundedCornerPath();
};

void MoreMenuTest::rowsInOrderBySystemVersion_data() {
  QTest::addColumn<QString>("profile");
  QTest::addColumn<QString>("settings");
  QTest::newRow("macOS 12") << "macmini-m1"
                            << "Preferences...";
  QTest::newRow("macOS 13") << "macbookpro-m2pro"
                            << "Settings...";
  QTest::newRow("macOS 14") << "macbookpro-m3max"
                            << "Settings...";
}

void MoreMenuTest::rowsInOrderBySystemVersion() {
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
  // Reached by Tab, never by a click: a click never leaves a focus on it.
  QVERIFY(w.button().trigger()->focusPolicy() == Qt::TabFocus);
}

void MoreMenuTest::uninstallFollowsTheHelper() {
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

void MoreMenuTest::logToFileTurnsTheButtonPink() {
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

void MoreMenuTest::fadesWhileNoWindowIsActive() {
  Window w;
  ModuleViewMoreButton& button = w.button();
  QCOMPARE(button.opacity(), 1.0);
  emit qApp->focusWindowChanged(nullptr);
  QCOMPARE(button.opacity(), ModuleViewMoreButton::kDimmedOpacity);
  QVERIFY(button.isDimmed());
  emit qApp->focusWindowChanged(w.window->windowHandle());
  QCOMPARE(button.opacity(), 1.0);
}

void MoreMenuTest::roundedCornerPath_data() {
  QTest::addColumn<int>("corners");
  for (int bits = 0; bits < 16; ++bits)
    QTest::newRow(qPrintable(QString("corners %1").arg(bits))) << bits;
}

void MoreMenuTest::roundedCornerPath() {
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

QTEST_MAIN(MoreMenuTest)
#include "MoreMenuTest.moc"
